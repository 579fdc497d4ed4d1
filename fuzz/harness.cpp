#include "harness.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/fileio.h"
#include "base/uiops.h"
#include "base/worktree.h"

#include "drm/compile.h"
#include "drm/drmpack.h"

#include "shell/settings.h"
#include "shell/state.h"

namespace zantrel::fuzz {

namespace fs = std::filesystem;

namespace {

std::string g_start;

void RemoveStartFolder() {
    std::error_code ignored; // a leftover temporary folder harms nothing
    fs::current_path(fs::temp_directory_path(), ignored);
    fs::remove_all(g_start, ignored);
}

} // namespace

const std::string& StartFolder() {
    if (!g_start.empty())
        return g_start;
    std::error_code ec;
    // fuzz/run.sh names a folder it removes afterwards, crashes included.
    const char* chosen = std::getenv("ZANTREL_FUZZ_TMP");
    const fs::path base = chosen && *chosen                  ? fs::path(chosen)
                          : fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm")
                                                             : fs::temp_directory_path();
    std::string pattern = (base / "zantrel-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        Fail("cannot make a start folder under " + base.string());
    g_start = pattern;
    fs::current_path(g_start);
    std::atexit(RemoveStartFolder);

    ResetState();
    InstallUi(nullptr);
    SharedState& s = State();
    s.startFolder = g_start;
    s.freshSession = true;
    SetDefaultSettings();
    s.workFolder = JoinPath(g_start, "work");
    BuildWorkTree();
    return g_start;
}

void ResetWorkTree() {
    SharedState& s = State();
    std::error_code ec;
    fs::remove_all(s.binary1Dir, ec);
    fs::remove_all(s.binary2Dir, ec);
    if (ec)
        Fail("cannot empty the work tree: " + ec.message());
    BuildWorkTree();
}

void WriteFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        Fail("cannot write " + path);
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
        Fail("short write to " + path);
    std::fclose(f);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "zantrel fuzz invariant broken: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

std::uint8_t InputSplitter::Byte() { return pos_ < data_.size() ? data_[pos_++] : 0; }

std::uint16_t InputSplitter::Word() {
    const std::uint16_t lo = Byte();
    return static_cast<std::uint16_t>(lo | Byte() << 8);
}

std::span<const std::uint8_t> InputSplitter::Chunk() {
    const std::size_t length = Word();
    const std::size_t take = std::min(length, data_.size() - std::min(pos_, data_.size()));
    auto chunk = data_.subspan(std::min(pos_, data_.size()), take);
    pos_ += take;
    return chunk;
}

std::span<const std::uint8_t> InputSplitter::Rest() {
    auto rest = data_.subspan(std::min(pos_, data_.size()));
    pos_ = data_.size();
    return rest;
}

} // namespace zantrel::fuzz

namespace zantrel::fuzz {

namespace {

std::int64_t SizeOrFail(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec)
        Fail("missing work file " + path);
    return static_cast<std::int64_t>(size);
}

// Every work file a decompilation promises, and the size the compiled code
// group must come to.
void CheckDecompiled(bool conversion) {
    const SharedState& s = State();
    const std::string drmpack = s.drmpack1Dir;
    const DrmRecords d = ReadDescr(JoinPath(drmpack, DescrFileName));
    if (auto bad = CheckDescr(d))
        Fail("decompilation wrote a descr.dat its compilation refuses: " + *bad);
    const std::int64_t startSize = SizeOrFail(JoinPath(drmpack, StartFileName));
    const std::int64_t trailSize = SizeOrFail(JoinPath(drmpack, TrailFileName));
    SizeOrFail(JoinPath(drmpack, OffFileName));
    const std::int32_t r = d.extended ? d.pictureCount : 0;
    for (std::int32_t k = 1; k <= r; ++k) {
        SizeOrFail(JoinPath(JoinPath(drmpack, RawsFolderName), NumberedFileName(k, ".raw")));
        if (conversion)
            SizeOrFail(JoinPath(s.icons1Dir, NumberedFileName(k, ".bmp")));
    }
    std::int64_t iconBytes = 0;
    for (std::int32_t k = 1; k <= d.iconCount; ++k) {
        const long number = static_cast<long>(r) + k;
        const std::string gif = JoinPath(s.icons1Dir, NumberedFileName(number, ".gif"));
        const std::string bmp = JoinPath(s.icons1Dir, NumberedFileName(number, ".bmp"));
        const bool hasGif = FileExists(gif);
        if (hasGif == FileExists(bmp))
            Fail("icon " + std::to_string(number) + " should be exactly one of .gif and .bmp");
        iconBytes += SizeOrFail(hasGif ? gif : bmp);
    }
    if (conversion)
        return; // a picture's slot may be shorter than its BMP converts back to
    State().compiledImagePath = JoinPath(s.workFolder, "compiled.bin");
    try {
        if (!DrmCompile(FoldersOf(1), State().compiledImagePath))
            Fail("the untouched decompilation was refused by the compilation");
    } catch (const IoError& e) {
        Fail("compiling the untouched decompilation failed: " + IoErrorText(e.Code()) + " at " +
             e.Path());
    }
    const std::int64_t body = startSize + iconBytes;
    const std::int64_t expected = body + (16 - body % 16) % 16 + 4 * (d.iconCount + 2) + trailSize;
    const std::int64_t got = SizeOrFail(State().compiledImagePath);
    if (got != expected)
        Fail("compiled " + std::to_string(got) + " bytes, expected " + std::to_string(expected));
}

} // namespace

void OpenAndCheck(Outcome (*open)(const ImageFolders&), const std::string& fileName,
                  std::span<const std::uint8_t> data, bool conversion) {
    const std::string& start = StartFolder();
    ResetWorkTree();
    SharedState& s = State();
    s.rawConversionEnabled = conversion;
    s.firstFlashPath = JoinPath(start, fileName);
    s.currentImage = 1;
    WriteFile(s.firstFlashPath, data);
    Outcome outcome = Outcome::NoDrmFound();
    try {
        outcome = open(FoldersOf(1));
    } catch (const IoError&) {
        return; // reported by the command loop as an I/O error
    }
    const bool descr = FileExists(JoinPath(s.drmpack1Dir, DescrFileName));
    if (!outcome.Done()) {
        if (descr)
            Fail("a file that was not decompiled left a descr.dat");
        return;
    }
    if (!descr)
        Fail("a decompiled file left no descr.dat");
    CheckDecompiled(conversion);
}

} // namespace zantrel::fuzz
