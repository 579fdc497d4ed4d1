# Set-up, build, tests and the demo. Every target installs what it needs.
BUILD ?= build
JOBS ?= $(shell nproc)

# Debian packages the build, the tests, the demo, fuzzing and benchmarks use.
PACKAGES = cmake ninja-build g++ make qt6-base-dev libgtest-dev libgmock-dev \
           srecord binutils xvfb xauth time clang libclang-rt-14-dev clang-format \
           libcli11-dev nlohmann-json3-dev libstb-dev zlib1g-dev dpkg-dev file \
           help2man lintian desktop-file-utils \
           $(WINDOWS_PACKAGES)

# The Windows cross-build and its test run: MinGW-w64 (posix threads), its
# binutils (windres), zlib built for it (the version of zlib1g-dev, so that
# both builds write the same PNG bytes), GoogleTest's sources to build for
# the target, Wine, and msitools' wixl and msiinfo for the installer package
# and its check.
WINDOWS_PACKAGES = g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev \
                   googletest wine wine64 fonts-wine wixl msitools

.PHONY: deps build check test test-asan sweep fuzz-replay windows test-windows test-installer dist \
        dist-deb dist-stage-windows dist-zip dist-msi run screenshots screenshots-windows bench fuzz \
        format format-check clean

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -z "$$missing" ]; then exit 0; fi; \
	if [ "$$(id -u)" = 0 ]; then \
	  echo "Installing:$$missing"; \
	  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing; \
	else \
	  echo "Missing packages. Run:"; echo "  sudo apt-get install -y$$missing"; exit 1; \
	fi

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The quick loop: the build, then every test but the long sweeps over faults,
# kills and pairs (ctest label sweep).
check: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE sweep

# The format check first, then the suite (the sweeps every SWEEP_EVERY-th
# case); the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer (g++, without the Qt program; the sweeps at a
# wider stride), with each fuzz harness over its seeds and committed
# regressions once: no random exploration, so the same commit always gives the
# same answer. make sweep runs every case.
SWEEP_EVERY ?= 3
test: format-check
	$(MAKE) --no-print-directory build
	ZANTREL_SWEEP_EVERY=$(SWEEP_EVERY) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory test-asan

ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZANTREL_SANITIZE=ON -DZANTREL_GUI=OFF

# Under the sanitizers a sweep's case costs ten times more: the sweeps (ctest
# label sweep) take every ASAN_SWEEP_EVERY-th case here, and make sweep all.
ASAN_SWEEP_EVERY ?= 8
SANITIZER_OPTIONS = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1

test-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ZANTREL_SWEEP_EVERY=$(ASAN_SWEEP_EVERY) $(SANITIZER_OPTIONS) \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Every case of the sweeps over faults, kills and pairs under the sanitizers.
sweep: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ZANTREL_SWEEP_EVERY=1 $(SANITIZER_OPTIONS) \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -L sweep

# libFuzzer needs clang; the harnesses and their seed generator only.
$(FUZZ_BUILD)/build.ninja: | deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DZANTREL_FUZZ=ON -DZANTREL_GUI=OFF

# Runs each harness FUZZ_SECONDS (default 60) and prints executions and
# findings. An input that finds something belongs in fuzz/regressions/<harness>
# once mended, so that every later test run replays it.
fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target zantrel_fuzz
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash fuzz/run.sh $(FUZZ_BUILD)

# The harnesses over their seeds and regressions once, in the sanitizer build
# (make test runs it among the sanitizer build's tests).
fuzz-replay: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target zantrel_fuzz
	$(SANITIZER_OPTIONS) ctest --test-dir $(ASAN_BUILD) --output-on-failure -L fuzz

# Windows: the window program zantrel.exe, zantrel-cli.exe and the test
# programs, cross-built into $(WIN_BUILD)/bin (static: no DLL beside them).
WIN_BUILD ?= build-win

$(WIN_BUILD)/build.ninja: | deps
	cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DZANTREL_GUI=OFF \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake

windows: deps $(WIN_BUILD)/build.ninja
	cmake --build $(WIN_BUILD) -j $(JOBS)

# Every test program once under Wine (a prefix inside $(WIN_BUILD)), then the
# sample flows with the Linux and the Windows console program, byte for byte.
test-windows: windows build
	bash tools/run-windows-tests.sh $(WIN_BUILD)
	bash tools/compare-windows.sh $(BUILD) $(WIN_BUILD)
	$(MAKE) --no-print-directory test-installer

# The installer and a newer one (the next patch version), built into
# $(WIN_BUILD)/installer, checked and used under Wine on a display of their own.
INSTALLER_TEST = $(WIN_BUILD)/installer
NEWER_VERSION = $(shell echo $(VERSION) | awk -F. '{ print $$1 "." $$2 "." $$3 + 1 }')
INSTALLER_PACKAGES = $(INSTALLER_TEST)/zantrel-$(VERSION)-windows-x64.msi \
                     $(INSTALLER_TEST)/zantrel-$(NEWER_VERSION)-windows-x64.msi
test-installer: windows
	$(MAKE) --no-print-directory DIST=$(INSTALLER_TEST) $(INSTALLER_PACKAGES)
	xvfb-run -a -s "-screen 0 1280x1024x24" bash tools/test-installer.sh $(WIN_BUILD) \
	  $(INSTALLER_PACKAGES)

# Release artefacts in dist/: the Debian package of the Linux build (CPack,
# dependencies from dpkg-shlibdeps), and the zip and the installer of the
# Windows programs.
DIST ?= dist
VERSION := $(shell sed -n 's/^project.zantrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
WIN_ZIP = $(DIST)/zantrel-$(VERSION)-windows-x64.zip
WIN_MSI = $(DIST)/zantrel-$(VERSION)-windows-x64.msi
WIN_PROGRAMS = zantrel.exe zantrel-cli.exe
# The texts beside them; .txt so that a double-click opens them on Windows.
WIN_DOCS = README-Windows.txt LICENSE.txt COPYRIGHT.txt NEWS.txt
WIN_STAGE = $(WIN_BUILD)/stage

dist: build windows
	$(MAKE) --no-print-directory dist-deb dist-zip dist-msi

DEB = $(DIST)/zantrel_$(VERSION)_$(shell dpkg --print-architecture).deb

# NEWS, the package's changelog, must have this version's entry on top; the
# menu entry and the package must pass desktop-file-validate and lintian
# without an error or a warning; a package that fails is not left in dist/.
dist-deb: deps
	@test -x $(BUILD)/bin/zantrel || { echo "$(BUILD)/bin/zantrel is missing: the package needs the Qt window program (make build)"; exit 1; }
	@head -n 1 NEWS | grep -q '^zantrel ($(VERSION)) ' || { echo "NEWS has no entry for $(VERSION) at its top"; exit 1; }
	@out=$$(desktop-file-validate resources/zantrel.desktop 2>&1); \
	  test -z "$$out" || { echo "$$out"; echo "resources/zantrel.desktop does not validate"; exit 1; }
	rm -f $(DEB)
	cd $(BUILD) && cpack
	mkdir -p $(DIST)
	cp $(BUILD)/package/$(notdir $(DEB)) $(DIST)/
	lintian --fail-on error,warning $(DEB) || { rm -f $(DEB); exit 1; }

# What the zip and the installer carry, in $(WIN_STAGE): the programs stripped
# of their symbols (the package's are too, by CPack), and the texts with CR LF
# line ends, as Windows' own editors expect.
dist-stage-windows:
	@for p in $(WIN_PROGRAMS); do \
	  test -f $(WIN_BUILD)/bin/$$p || { echo "$(WIN_BUILD)/bin/$$p is missing: build it with make windows"; exit 1; }; \
	done
	rm -rf $(WIN_STAGE) && mkdir -p $(WIN_STAGE)
	cp $(addprefix $(WIN_BUILD)/bin/,$(WIN_PROGRAMS)) $(WIN_BUILD)/README-Windows.txt $(WIN_STAGE)/
	sed 's/\r$$//; s/$$/\r/' LICENSE >$(WIN_STAGE)/LICENSE.txt
	sed 's/\r$$//; s/$$/\r/' resources/copyright >$(WIN_STAGE)/COPYRIGHT.txt
	sed 's/\r$$//; s/$$/\r/' NEWS >$(WIN_STAGE)/NEWS.txt
	@cr=$$(printf '\r'); for f in $(WIN_DOCS); do \
	  if grep -qv "$$cr\$$" $(WIN_STAGE)/$$f; then echo "$(WIN_STAGE)/$$f has a line without CR LF"; exit 1; fi; \
	done
	cd $(WIN_STAGE) && x86_64-w64-mingw32-strip $(WIN_PROGRAMS)

# The zip is made beside the staging folder and renamed into place, so a
# failure leaves neither a partial zip nor an earlier one behind.
dist-zip: dist-stage-windows
	rm -f $(WIN_ZIP)
	mkdir -p $(DIST)
	cd $(WIN_STAGE) && cmake -E tar cf ../zantrel.zip --format=zip $(WIN_PROGRAMS) $(WIN_DOCS)
	mv $(WIN_BUILD)/zantrel.zip $(WIN_ZIP)

# The Windows installer (resources/zantrel.wxs) of version %, built by wixl
# from the staged files, in the staging folder's parent and renamed into
# place. wixl's MajorUpgrade replaces older versions only; its row is
# rewritten to take in the same version too (as WiX's AllowSameVersionUpgrades
# does), so a rebuilt package never installs beside its twin.
WIN_UPGRADE_CODE = $(shell sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' resources/zantrel.wxs)
dist-msi: $(WIN_MSI)

$(DIST)/zantrel-%-windows-x64.msi: dist-stage-windows | deps
	rm -f $@ $(WIN_BUILD)/zantrel-$*.msi
	mkdir -p $(DIST)
	cd $(WIN_STAGE) && wixl -a x64 -D Version=$* -o ../zantrel-$*.msi $(CURDIR)/resources/zantrel.wxs
	msibuild $(WIN_BUILD)/zantrel-$*.msi \
	  -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'" \
	  -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) \
	      VALUES ('{$(WIN_UPGRADE_CODE)}', '$*', 513, 'WIX_UPGRADE_DETECTED')"
	mv $(WIN_BUILD)/zantrel-$*.msi $@

run: build
	@bash tools/demo.sh $(BUILD)

screenshots: build
	@bash tools/screenshots.sh $(BUILD)

# The Windows window program's windows under Wine, in $(WIN_BUILD)/screenshots.
screenshots-windows: windows
	@bash tools/screenshots-windows.sh $(WIN_BUILD)

# Times the program against srec_cat and objcopy; prints the table and writes
# $(BUILD)/bench.md. BENCH_RUNS=n sets the runs per row (default 5). With the
# cross-build configured (make windows), the Windows window too, under Wine.
bench: build
	cmake --build $(BUILD) -j $(JOBS) --target zantrel_bench
	@if [ -f $(WIN_BUILD)/build.ninja ]; then \
	  cmake --build $(WIN_BUILD) -j $(JOBS) --target zantrel-bench-winwindow && \
	  bash bench/run.sh $(BUILD) $(WIN_BUILD); \
	else bash bench/run.sh $(BUILD); fi

# The tracked sources, laid out by .clang-format.
FORMAT_SOURCES = git ls-files -z '*.cpp' '*.h'

format: deps
	$(FORMAT_SOURCES) | xargs -0 clang-format -i

format-check: deps
	@$(FORMAT_SOURCES) | xargs -0 clang-format --dry-run --Werror \
	  || { echo "Sources not laid out by .clang-format: run make format"; exit 1; }

clean:
	rm -rf $(BUILD) build-* demo $(DIST)
