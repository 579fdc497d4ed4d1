// zantrel-samplegen OUTDIR [--large MB]: writes synthetic flash files for the
// demo, the manual checks and the benchmarks. No real firmware is involved:
// every byte comes from the builders in tools/.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/unicode.h"

#include "tools/containers.h"
#include "tools/drmbuilder.h"

namespace {

using namespace zantrel;
using namespace zantrel::samples;

constexpr std::uint32_t RamdldAddress = 0x03FC8000;
constexpr std::uint32_t DrmAddress = 0x10D0001C;

std::string Join(const std::string& folder, const std::string& name) { return folder + "/" + name; }

// Icons alternate between real GIF and BMP files of a few sizes.
std::vector<std::vector<std::uint8_t>> SampleIcons(int count, std::uint8_t seed) {
    std::vector<std::vector<std::uint8_t>> icons;
    for (int i = 0; i < count; ++i) {
        const auto s = static_cast<std::uint8_t>(seed + i);
        const int side = 8 + (i * 5) % 33;
        icons.push_back(i % 3 == 2 ? BmpIcon(side + 1, side, s) : GifIcon(side, side + 2, s));
    }
    return icons;
}

DrmPlan ExtendedDrm(std::uint8_t seed, TagVariant tag, bool prefix) {
    DrmPlan plan;
    plan.extended = true;
    plan.prefix = prefix;
    plan.tag = tag;
    plan.loadAddress = DrmAddress;
    plan.icons = SampleIcons(12, seed);
    // 1x1 and 3x2 at the edges, a full screen, and one wider than the screen.
    plan.pictures.push_back(SamplePicture(1, 1, seed, false, 0));
    plan.pictures.push_back(SamplePicture(3, 2, static_cast<std::uint8_t>(seed + 1), true, 0));
    plan.pictures.push_back(SamplePicture(176, 220, static_cast<std::uint8_t>(seed + 2), true, 6));
    plan.pictures.push_back(SamplePicture(200, 12, static_cast<std::uint8_t>(seed + 3), false, 0));
    plan.pictures.push_back(SamplePicture(17, 9, static_cast<std::uint8_t>(seed + 4), true, 2));
    return plan;
}

DrmPlan BasicDrm(std::uint8_t seed, TagVariant tag, bool prefix) {
    DrmPlan plan;
    plan.extended = false;
    plan.prefix = prefix;
    plan.tag = tag;
    plan.loadAddress = prefix ? DrmAddress : 0x10D00000;
    plan.icons = SampleIcons(9, seed);
    return plan;
}

// RAMDLD, CG0 (so the reader merges it with CG1), CG1, CG2, CG7 and the DRM.
std::vector<Piece> PhonePieces(const DrmPlan& drm, std::uint32_t seed) {
    return {
        PatternPiece(RamdldSlot, RamdldAddress, 2100, seed),
        PatternPiece(0, 0x10020000, 3000, seed + 1),
        PatternPiece(1, 0x10040000, 1500, seed + 2),
        PatternPiece(2, 0x10060000, 777, seed + 3),
        PatternPiece(7, 0x10200000, 4096, seed + 4),
        BytesPiece(15, drm.loadAddress, BuildDrmCodeGroup(drm)),
    };
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    BinaryFile file = BinaryFile::Create(path);
    file.Write(bytes);
    file.Close();
}

void WriteSamples(const std::string& dir) {
    const DrmPlan extended = ExtendedDrm(1, TagVariant::At464, true);
    const DrmPlan basic = BasicDrm(40, TagVariant::At468, false);
    WriteSuperfileFile(Join(dir, "phone-extended.shx"), PhonePieces(extended, 100));
    WriteSbfFile(Join(dir, "phone-extended.sbf"), PhonePieces(extended, 100));
    WriteSuperfileFile(Join(dir, "phone-basic.shx"), PhonePieces(basic, 200));
    WriteSbfFile(Join(dir, "phone-basic.sbf"), PhonePieces(basic, 200));

    // Same slot counts with other icons and pictures: the sources for a port.
    WriteSuperfileFile(Join(dir, "export-extended.shx"),
                       PhonePieces(ExtendedDrm(90, TagVariant::SignatureWord, true), 300));
    WriteSbfFile(Join(dir, "export-basic.sbf"),
                 PhonePieces(BasicDrm(120, TagVariant::At456, true), 400));

    // A superfile as the writer leaves it: only the RAMDLD and CG15.
    const DrmPlan two = ExtendedDrm(7, TagVariant::At464, false);
    WriteSuperfileFile(Join(dir, "phone-two-pieces.shx"),
                       {PatternPiece(RamdldSlot, RamdldAddress, 415, 9),
                        BytesPiece(15, two.loadAddress, BuildDrmCodeGroup(two))});

    WriteBytes(Join(dir, "drm-extended.bin"),
               BuildDrmCodeGroup(ExtendedDrm(20, TagVariant::At464, true)));
    WriteBytes(Join(dir, "drm-extended-signature.bin"),
               BuildDrmCodeGroup(ExtendedDrm(25, TagVariant::SignatureWord, true)));
    WriteBytes(Join(dir, "drm-basic.bin"),
               BuildDrmCodeGroup(BasicDrm(30, TagVariant::At456, true)));
    WriteBytes(Join(dir, "drm-basic.smg"),
               BuildDrmCodeGroup(BasicDrm(35, TagVariant::At468, false)));

    const std::vector<Piece> noDrm = {PatternPiece(RamdldSlot, RamdldAddress, 1024, 50),
                                      PatternPiece(1, 0x10040000, 2048, 51),
                                      PatternPiece(5, 0x10100000, 512, 52)};
    WriteSuperfileFile(Join(dir, "nodrm.shx"), noDrm);
    WriteSbfFile(Join(dir, "nodrm.sbf"), noDrm);
    WriteBytes(Join(dir, "nodrm.bin"), PieceBytes(PatternPiece(1, 0, 4096, 53)));
}

// large.shx and large.sbf of about mb megabytes each: a RAMDLD, a dozen code
// groups and a DRM of several megabytes, all streamed.
void WriteLarge(const std::string& dir, int mb) {
    DrmPlan drm;
    drm.extended = true;
    drm.prefix = true;
    drm.tag = TagVariant::At464;
    drm.loadAddress = DrmAddress;
    drm.icons = SampleIcons(400, 3);
    for (int i = 0; i < 30; ++i)
        drm.pictures.push_back(
            SamplePicture(176, 220, static_cast<std::uint8_t>(i), i % 2 == 0, 0));
    const std::string drmPath = Join(dir, "large-drm.tmp");
    {
        BinaryFile file = BinaryFile::Create(drmPath);
        WriteDrmCodeGroup(drm, [&](std::span<const std::uint8_t> b) { file.Write(b); });
        file.Close();
    }
    const auto drmSize = static_cast<std::uint64_t>(FileSizeOf(drmPath));
    const std::uint64_t target = static_cast<std::uint64_t>(mb) * 1024 * 1024;

    // A superfile's text takes 144 bytes per 64 data bytes.
    for (const bool superfile : {true, false}) {
        const std::uint64_t binary = superfile ? target * 64 / 144 : target;
        const std::uint64_t rest = binary > drmSize + 65536 ? binary - drmSize - 65536 : 12 * 4096;
        std::vector<Piece> pieces{PatternPiece(RamdldSlot, RamdldAddress, 65536, 1)};
        for (int s = 0; s < 12; ++s) {
            const int slot = s < 11 ? s : 16; // CG0..CG10 and CG16, around the DRM
            if (slot == 16)
                pieces.push_back(FilePiece(15, DrmAddress, drmPath));
            pieces.push_back(PatternPiece(slot,
                                          0x11000000u + 0x400000u * static_cast<std::uint32_t>(s),
                                          rest / 12, static_cast<std::uint32_t>(10 + s)));
        }
        if (superfile)
            WriteSuperfileFile(Join(dir, "large.shx"), pieces);
        else
            WriteSbfFile(Join(dir, "large.sbf"), pieces);
    }
    DeleteFileQuietly(drmPath);
}

constexpr const char* UsageLine = "usage: zantrel-samplegen OUTDIR [--large MB]\n";

int Usage() {
    std::fputs(UsageLine, stderr);
    return 2;
}

int Help() {
    std::fputs(UsageLine, stdout);
    std::fputs(R"(
Writes sample flash files into OUTDIR, made when missing: superfiles, SBF
files and raw images with basic and extended DRMs, and files without a DRM.
  --large MB   also a superfile and an SBF file of about MB megabytes (1-4096)
  -h, --help   this text
A folder whose name begins with "-" is given as ./-name.
)",
               stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    zantrel::UseUtf8Console();
    const std::vector<std::string> args = zantrel::Utf8Arguments(argc, argv);
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h"))
        return Help();
    if (args.size() != 2 && args.size() != 4)
        return Usage();
    const std::string& dir = args[1];
    // An option it does not know would otherwise become a folder of that name.
    if (dir.empty() || dir[0] == '-') {
        std::fprintf(stderr, "zantrel-samplegen: %s\n",
                     dir.empty() ? "empty folder name" : ("unknown option '" + dir + "'").c_str());
        return Usage();
    }
    int large = 0;
    if (args.size() == 4) {
        if (args[2] != "--large")
            return Usage();
        char* end = nullptr;
        const long mb = std::strtol(args[3].c_str(), &end, 10);
        if (args[3].empty() || *end != '\0' || mb < 1 || mb > 4096)
            return Usage();
        large = static_cast<int>(mb);
    }
    try {
        std::error_code ec;
        std::filesystem::create_directories(zantrel::PathFromUtf8(dir), ec);
        WriteSamples(dir);
        if (large > 0)
            WriteLarge(dir, large);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zantrel-samplegen: %s\n", e.what());
        return 1;
    }
    return 0;
}
