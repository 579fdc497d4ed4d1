# Set-up, build, tests and the demo. Every target installs what it needs.
BUILD ?= build
JOBS ?= $(shell nproc)

# Debian packages the build, the tests, the demo, fuzzing and benchmarks use.
PACKAGES = cmake ninja-build g++ make qt6-base-dev libgtest-dev libgmock-dev \
           srecord binutils xvfb time clang libclang-rt-14-dev

.PHONY: deps build test run screenshots bench fuzz clean

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

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

run: build
	@bash tools/demo.sh $(BUILD)

screenshots: build
	@bash tools/screenshots.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-* demo
