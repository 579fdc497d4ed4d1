// zantrel-fuzzseeds OUTDIR: writes a seed corpus per harness into
// OUTDIR/<harness>/. Every flash file and DRM comes from the sample builders;
// the compile seeds are real decompilations of them, packed the way
// fuzz_compile reads its input.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/worktree.h"

#include "imaging/gifwrite.h"
#include "imaging/picture.h"
#include "imaging/stbimage.h"

#include "flash/flashformat.h"

#include "drm/decompile.h"
#include "drm/drmpack.h"

#include "shell/state.h"

#include "harness.h"
#include "tools/containers.h"
#include "tools/drmbuilder.h"

namespace {

namespace fs = std::filesystem;
using namespace zantrel;
using namespace zantrel::samples;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t RamdldAddress = 0x03FC8000;

std::string g_out;
int g_written = 0;

void Seed(const std::string& harness, const std::string& name, const Bytes& bytes) {
    const fs::path folder = fs::path(g_out) / harness;
    fs::create_directories(folder);
    fuzz::WriteFile((folder / name).string(), bytes);
    ++g_written;
}

Bytes Text(const std::string& text) { return {text.begin(), text.end()}; }

struct NamedDrm {
    std::string name;
    DrmPlan plan;
};

// Small DRMs of every layout the reader tells apart, so the seeds stay well
// under the harnesses' input limits.
std::vector<NamedDrm> SmallDrms() {
    std::vector<NamedDrm> drms;
    DrmPlan e;
    e.extended = true;
    e.prefix = true;
    e.tag = TagVariant::At464;
    e.pictures = {SamplePicture(3, 2, 1, true, 6), SamplePicture(5, 3, 2, false, 0)};
    e.icons = {GifIcon(4, 3, 1), BmpIcon(3, 2, 2), {'X'}};
    drms.push_back({"extended", e});

    DrmPlan sig = e;
    sig.tag = TagVariant::SignatureWord;
    sig.pictures = {SamplePicture(1, 1, 3, false, 0), SamplePicture(17, 2, 4, true, 2)};
    drms.push_back({"extended-signature", sig});

    DrmPlan odd = e;
    odd.nameCheckFails = true;
    odd.extraIconPadding = true;
    odd.strayTableBytes = {1, 2, 3};
    odd.pictures = {SamplePicture(2, 2, 5, true, 0)};
    drms.push_back({"extended-namecheck", odd});

    DrmPlan flat = e;
    flat.prefix = false;
    flat.pictures = {SamplePicture(4, 1, 6, false, 4)};
    flat.icons = {};
    drms.push_back({"extended-noprefix", flat});

    DrmPlan basic;
    basic.loadAddress = 0x10D00000;
    basic.tag = TagVariant::At468;
    basic.icons = {GifIcon(5, 5, 7), BmpIcon(2, 2, 8), GifIcon(1, 1, 9)};
    drms.push_back({"basic", basic});

    DrmPlan basic456 = basic;
    basic456.prefix = true;
    basic456.loadAddress = 0x10D0001C;
    basic456.tag = TagVariant::At456;
    basic456.trail = Bytes(24, 0xEE);
    drms.push_back({"basic-456", basic456});
    return drms;
}

std::vector<Piece> Pieces(const Bytes& drm, std::uint32_t drmAddress, std::uint32_t seed) {
    return {PatternPiece(RamdldSlot, RamdldAddress, 300, seed),
            PatternPiece(0, 0x10020000, 200, seed + 1), PatternPiece(1, 0x10040000, 100, seed + 2),
            PatternPiece(7, 0x10200000, 64, seed + 3), BytesPiece(15, drmAddress, drm)};
}

void FlashSeeds(const std::vector<NamedDrm>& drms) {
    std::uint32_t seed = 1;
    for (const NamedDrm& d : drms) {
        const Bytes drm = BuildDrmCodeGroup(d.plan);
        Seed("fuzz_rawimage", d.name + ".bin", drm);
        const auto pieces = Pieces(drm, d.plan.loadAddress, seed += 10);
        Seed("fuzz_superfile", d.name + ".shx", BuildSuperfile(pieces));
        Seed("fuzz_sbf", d.name + ".sbf", BuildSbf(pieces));
    }
    const Bytes drm = BuildDrmCodeGroup(drms.front().plan);
    const std::uint32_t at = drms.front().plan.loadAddress;
    const std::vector<Piece> two = {PatternPiece(RamdldSlot, RamdldAddress, 40, 3),
                                    BytesPiece(15, at, drm)};
    BodyOptions shortLines;
    shortLines.lineBytes = 7;
    shortLines.finalLineEnd = true;
    Seed("fuzz_superfile", "two-pieces-short-lines.shx", BuildSuperfile(two, shortLines));
    BodyOptions bad;
    bad.badChecksumLines = 2;
    Seed("fuzz_superfile", "bad-checksums.shx", BuildSuperfile(two, bad));
    BodyOptions apart;
    apart.mergeCg0 = false;
    Seed("fuzz_superfile", "cg0-apart.shx", BuildSuperfile(Pieces(drm, at, 77), apart));
    Seed("fuzz_sbf", "cg0-apart.sbf", BuildSbf(Pieces(drm, at, 77), apart));
    HeaderOptions overCount;
    overCount.pieceCount = 30;
    Seed("fuzz_superfile", "count-30.shx", BuildSuperfile(two, {}, overCount));
    Seed("fuzz_sbf", "count-30.sbf", BuildSbf(two, {}, overCount));
    const std::vector<Piece> noDrm = {PatternPiece(RamdldSlot, RamdldAddress, 64, 5),
                                      PatternPiece(3, 0x10100000, 80, 6)};
    Seed("fuzz_superfile", "nodrm.shx", BuildSuperfile(noDrm));
    Seed("fuzz_sbf", "nodrm.sbf", BuildSbf(noDrm));
    Seed("fuzz_rawimage", "nodrm.bin", PieceBytes(PatternPiece(1, 0, 512, 9)));
}

void PictureSeeds() {
    const int sides[][2] = {{0, 0}, {1, 1}, {3, 2}, {17, 9}, {5, 0}, {255, 1}, {2, 40}};
    std::uint8_t seed = 1;
    for (const auto& side : sides) {
        const int w = side[0], h = side[1];
        const std::string name = std::to_string(w) + "x" + std::to_string(h);
        // width, height, then the replacer: magenta, then black for a change.
        Bytes raw = {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(h), 255, 0, 255};
        if (w > 0 && h > 0) {
            const Bytes pixels = RawPictureBytes(SamplePicture(w, h, seed++, true, 0));
            raw.insert(raw.end(), pixels.begin(), pixels.end());
        }
        Seed("fuzz_rawtobmp", name + ".in", raw);
        Bytes bmp = {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(h), 0, 0, 0};
        const Bytes file = BmpIcon(std::max(w, 1), std::max(h, 1), seed++);
        bmp.insert(bmp.end(), file.begin(), file.end());
        Seed("fuzz_bmptoraw", name + ".in", bmp);
    }
}

// Small pictures of each kind the import reads: as Zantrel writes them, and
// a JPEG, a run-length TGA and a top-down BMP as stb_image_write makes them.
void ImportSeeds() {
    Picture picture = FilledPicture(6, 4, 0xFF2080C0u);
    picture.At(0, 0) = 0;
    picture.At(5, 3) = 0xFFFF00FFu;
    const auto withSize = [](std::uint8_t w, std::uint8_t h, std::uint8_t fit, Bytes file) {
        file.insert(file.begin(), {w, h, fit});
        return file;
    };
    Seed("fuzz_picture", "png.in", withSize(6, 4, 0, EncodePng(picture)));
    Seed("fuzz_picture", "gif-fill.in", withSize(3, 9, 1, EncodeGif(picture)));
    Seed("fuzz_picture", "bmp-stretch.in",
         withSize(20, 2, 2, EncodeBmp24(picture, Rgb{0xFF, 0x00, 0xFF})));
    const std::vector<unsigned char> rgba = RgbaBytes(picture);
    Bytes jpeg, tga;
    const auto append = [](void* to, void* data, int size) {
        auto* bytes = static_cast<const std::uint8_t*>(data);
        static_cast<Bytes*>(to)->insert(static_cast<Bytes*>(to)->end(), bytes, bytes + size);
    };
    stbi_write_jpg_to_func(append, &jpeg, 6, 4, 4, rgba.data(), 80);
    stbi_write_tga_to_func(append, &tga, 6, 4, 4, rgba.data());
    Seed("fuzz_picture", "jpeg.in", withSize(5, 5, 0, jpeg));
    Seed("fuzz_picture", "tga.in", withSize(4, 6, 1, tga));
    // Bottom-up made top-down: the height's sign flipped, the rows reversed.
    Bytes bmp = EncodeBmp24(picture, Rgb{0xFF, 0x00, 0xFF});
    const std::size_t row = (bmp.size() - 54) / 4;
    for (std::size_t y = 0; y < 2; ++y)
        std::swap_ranges(bmp.begin() + 54 + y * row, bmp.begin() + 54 + (y + 1) * row,
                         bmp.begin() + 54 + (3 - y) * row);
    bmp[22] = 0xFC;
    bmp[23] = bmp[24] = bmp[25] = 0xFF;
    Seed("fuzz_picture", "bmp-topdown.in", withSize(6, 4, 0, bmp));
}

void TextSeeds() {
    Seed("fuzz_settings", "defaults.ini", Text("1\r\n1\r\n1\r\n255\r\n0\r\n255\r\n/tmp/work\r\n"));
    Seed("fuzz_settings", "hex.ini",
         Text("0\r\n$1\r\n0x1 rest\r\nxFF\r\n-1\r\n  300\r\nC:\\work\r\n"));
    Seed("fuzz_settings", "lf-only.ini", Text("1\n0\n1\n10\n20\n30\nwork folder\n"));
    Seed("fuzz_settings", "bad-number.ini", Text("1\r\nyes\r\n1\r\n1\r\n2\r\n3\r\n"));
    Seed("fuzz_settings", "run-together.ini", Text("10 1\r\n-\r\n+1\r\n\r\n"));
    Seed("fuzz_settings", "empty.ini", {});
    Seed("fuzz_session", "single.dat", Text("1"));
    Seed("fuzz_session", "pair-raw.dat", Text("6"));
    Seed("fuzz_session", "hex.dat", Text("  0x2\r\n"));
    Seed("fuzz_session", "negative.dat", Text("-3"));
    Seed("fuzz_session", "word.dat", Text("pair"));
    Seed("fuzz_session", "empty.dat", {});
    Seed("fuzz_session", "long.dat", Text("123456789012345678901234567890123456"));
}

void Put16(Bytes& b, std::size_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutChunk(Bytes& b, const std::string& path) {
    const std::string bytes = fuzz::ReadFile(path);
    Put16(b, bytes.size());
    b.insert(b.end(), bytes.begin(), bytes.end());
}

// Each small DRM decompiled by the program itself, with the conversion on
// and off, then packed as fuzz_compile's input.
void CompileSeeds(const std::vector<NamedDrm>& drms) {
    fuzz::StartFolder();
    for (const NamedDrm& d : drms) {
        for (const bool conversion : {true, false}) {
            fuzz::ResetWorkTree();
            SharedState& s = State();
            s.rawConversionEnabled = conversion;
            fuzz::WriteFile(JoinPath(s.binary1Dir, CodeGroupFileName(DrmCodeGroup)),
                            BuildDrmCodeGroup(d.plan));
            if (!DrmDecompile(FoldersOf(1)))
                throw std::runtime_error("sample DRM " + d.name + " was refused");
            Bytes b = {static_cast<std::uint8_t>(conversion ? 1 : 0)};
            PutChunk(b, JoinPath(s.drmpack1Dir, DescrFileName));
            PutChunk(b, JoinPath(s.drmpack1Dir, StartFileName));
            PutChunk(b, JoinPath(s.drmpack1Dir, TrailFileName));
            for (const std::string& folder :
                 {s.icons1Dir, JoinPath(s.drmpack1Dir, RawsFolderName)}) {
                std::error_code ec;
                for (const auto& entry : fs::directory_iterator(folder, ec)) {
                    const std::string ext = entry.path().extension().string();
                    const int kind = ext == ".gif" ? 0 : ext == ".bmp" ? 1 : 2;
                    b.push_back(static_cast<std::uint8_t>(kind));
                    Put16(b, std::stoul(entry.path().stem().string()));
                    PutChunk(b, entry.path().string());
                }
            }
            Seed("fuzz_compile", d.name + (conversion ? "-bmp" : "-raw") + ".in", b);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zantrel-fuzzseeds OUTDIR\n");
        return 2;
    }
    try {
        g_out = fs::absolute(argv[1]).string();
        const auto drms = SmallDrms();
        FlashSeeds(drms);
        PictureSeeds();
        ImportSeeds();
        TextSeeds();
        CompileSeeds(drms);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zantrel-fuzzseeds: %s\n", e.what());
        return 1;
    }
    std::printf("%d seeds in %s\n", g_written, g_out.c_str());
    return 0;
}
