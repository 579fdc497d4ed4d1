#include "hostile.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "base/paths.h"
#include "base/unicode.h"

#include "shell/sdimain.h"
#include "shell/state.h"

#include "tools/containers.h"
#include "tools/drmbuilder.h"

namespace zantrel::hostile {

namespace fs = std::filesystem;

namespace {
// These tests make and remove many thousands of small files: on a memory
// file system when there is one, unless TMPDIR says otherwise.
const bool g_memoryTemp = [] {
#ifndef _WIN32
    std::error_code ec;
    if (!std::getenv("TMPDIR") && fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0)
        setenv("TMPDIR", "/dev/shm", 0);
#endif
    return true;
}();
} // namespace

std::size_t SweepEvery() {
    static const std::size_t every = [] {
        const char* text = std::getenv("ZANTREL_SWEEP_EVERY");
        const long n = text ? std::strtol(text, nullptr, 10) : 1;
        return n > 1 ? static_cast<std::size_t>(n) : std::size_t{1};
    }();
    return every;
}

Bytes SmallBasicDrm() {
    samples::DrmPlan plan;
    plan.icons = {samples::GifIcon(2, 2, 7), samples::BmpIcon(2, 1, 8)};
    return samples::BuildDrmCodeGroup(plan);
}

Bytes SmallExtendedDrm(std::uint8_t seed) {
    samples::DrmPlan plan;
    plan.extended = true;
    plan.prefix = true;
    plan.tag = samples::TagVariant::At464;
    plan.pictures = {samples::SamplePicture(3, 2, seed, true, 4)};
    plan.icons = {samples::GifIcon(2, 2, seed),
                  samples::BmpIcon(2, 1, static_cast<std::uint8_t>(seed + 1))};
    return samples::BuildDrmCodeGroup(plan);
}

Bytes SmallRamdld() {
    Bytes r(512);
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<std::uint8_t>(i * 13 + 5);
    return r;
}

namespace {
std::vector<samples::Piece> Pieces(const Bytes& drm) {
    return {samples::BytesPiece(samples::RamdldSlot, 0x03FC0000, SmallRamdld()),
            samples::BytesPiece(15, 0x10D00000, drm)};
}
} // namespace

Bytes SmallSuperfile(const Bytes& drm) { return samples::BuildSuperfile(Pieces(drm)); }

Bytes SmallSbf(const Bytes& drm) { return samples::BuildSbf(Pieces(drm)); }

void WriteSettings(const std::string& startFolder, const std::string& workFolder) {
    test::WriteText(startFolder + "/zantrel.ini",
                    "1\r\n1\r\n1\r\n255\r\n0\r\n255\r\n" + workFolder + "\r\n");
}

MenuSnapshot SnapMenu() {
    MenuSnapshot m;
    for (MenuItem item : {MenuItem::FileOpenItem, MenuItem::Port1, MenuItem::FileSaveAsItem,
                          MenuItem::FileExitItem, MenuItem::Settings1, MenuItem::HelpAboutItem})
        m.offered[item] = Offered(item, CurrentRun());
    return m;
}

int CountingFault::Check(Op op, const std::string& path) {
    if (op != op_)
        return 0;
    if (++calls != failAt_)
        return 0;
    fired = true;
    firedPath = path;
    return err_;
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(PathFromUtf8(folder)))
        names.push_back(Utf8FromPath(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Leftovers(const std::string& folder) {
    std::vector<std::string> found;
    for (const std::string& file : test::ListFiles(folder)) {
        const std::string name = FileNamePart(file);
        if (name == "temp.bin" || (name.size() >= 5 && name.ends_with(".tmp~")))
            found.push_back(file);
    }
    return found;
}

Bytes WithoutDate(Bytes superfile) {
    if (superfile.size() >= 448)
        std::fill(superfile.begin() + 320, superfile.begin() + 448, std::uint8_t{0});
    return superfile;
}

} // namespace zantrel::hostile
