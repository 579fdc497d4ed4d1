// zantrel-bench-pictures: times the picture conversions in one process.
//
//   zantrel-bench-pictures prepare DIR      writes DIR/1.raw .. DIR/1000.raw
//   zantrel-bench-pictures run DIR OUT      RAW -> BMP -> RAW of each into OUT
//   zantrel-bench-pictures edit DIR OUT     one picture replaced from a PNG
//   zantrel-bench-pictures drm FILE SEED    writes a raw image whose DRM holds
//                                           2,999 pictures of 176x220 and an icon,
//                                           for the console's export and import
//
// "run" prints one line: the seconds the 2,000 conversions took and the
// process's peak resident KiB. Every picture must come back byte for byte;
// a difference fails the run (exit 1), so a fast wrong conversion never
// shows up as a result.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "base/fileio.h"

#include "imaging/bmpraw.h"
#include "imaging/decode.h"
#include "imaging/fit.h"
#include "imaging/picture.h"

#include "tools/drmbuilder.h"

namespace {

using namespace zantrel;

constexpr int PictureCount = 1000;
constexpr int Width = 176;
constexpr int Height = 220;
// The replacer colour (magenta) and the RGB565 pixel it reduces to, which a
// transparent pixel's raw value must be for the round trip to be exact.
constexpr std::uint8_t Blue = 255, Green = 0, Red = 255;
constexpr unsigned ReplacerPixel = 0xF81F;

std::string RawName(const std::string& dir, int k) {
    return dir + "/" + std::to_string(k) + ".raw";
}

// A picture with noise in it and about one pixel in eight transparent.
std::vector<std::uint8_t> MakePicture(int k) {
    const std::size_t pixels = static_cast<std::size_t>(Width) * Height;
    const std::size_t maskBytes = 2 * ((pixels + 15) / 16);
    std::vector<std::uint8_t> raw(2 * pixels + maskBytes, 0);
    std::uint32_t state = 0x9E3779B9u * static_cast<std::uint32_t>(k + 1);
    for (std::size_t p = 0; p < pixels; ++p) {
        state = state * 1664525u + 1013904223u;
        const bool transparent = (state >> 29) == 0;
        unsigned pixel = (state >> 8) & 0xFFFF;
        if (transparent) {
            pixel = ReplacerPixel;
            raw[2 * pixels + p / 8] |= static_cast<std::uint8_t>(0x80u >> (p % 8));
        } else if (pixel == ReplacerPixel) {
            pixel ^= 1; // an opaque pixel of the replacer colour would come back transparent
        }
        raw[2 * p] = static_cast<std::uint8_t>(pixel >> 8);
        raw[2 * p + 1] = static_cast<std::uint8_t>(pixel);
    }
    return raw;
}

void Prepare(const std::string& dir) {
    std::filesystem::create_directories(dir);
    for (int k = 1; k <= PictureCount; ++k) {
        BinaryFile file = BinaryFile::Create(RawName(dir, k));
        file.Write(MakePicture(k));
        file.Close();
    }
}

bool SameFile(const std::string& a, const std::string& b) {
    BinaryFile fa = BinaryFile::OpenRead(a);
    BinaryFile fb = BinaryFile::OpenRead(b);
    std::vector<std::uint8_t> ba(CopyBufferSize), bb(CopyBufferSize);
    for (;;) {
        const std::size_t ga = fa.Read(ba);
        const std::size_t gb = fb.Read(bb);
        if (ga != gb || std::memcmp(ba.data(), bb.data(), ga) != 0)
            return false;
        if (ga == 0)
            return true;
    }
}

int Run(const std::string& dir, const std::string& out) {
    const std::string bmps = out + "/bmp";
    const std::string raws = out + "/raw";
    std::filesystem::create_directories(bmps);
    std::filesystem::create_directories(raws);

    const auto start = std::chrono::steady_clock::now();
    for (int k = 1; k <= PictureCount; ++k)
        RawToBmp(RawName(dir, k), Width, Height, bmps + "/" + std::to_string(k) + ".bmp",
                 Rgb{Red, Green, Blue});
    for (int k = 1; k <= PictureCount; ++k)
        BmpToRaw(bmps + "/" + std::to_string(k) + ".bmp", RawName(raws, k), Rgb{Red, Green, Blue});
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

    for (int k = 1; k <= PictureCount; ++k) {
        if (!SameFile(RawName(dir, k), RawName(raws, k))) {
            std::fprintf(stderr, "zantrel-bench-pictures: picture %d did not come back unchanged\n",
                         k);
            return 1;
        }
    }
#ifdef _WIN32
    // The peak resident size is a POSIX figure; bench/run.sh runs on Linux.
    std::printf("%.4f 0\n", took.count());
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.4f %ld\n", took.count(), usage.ru_maxrss);
#endif
    return 0;
}

// "edit" prints the milliseconds one replace took (the median of 50).
int Edit(const std::string& dir, const std::string& out) {
    const Rgb replacer{Red, Green, Blue};
    std::filesystem::create_directories(out);
    using Clock = std::chrono::steady_clock;
    const std::string png = out + "/source.png";
    WritePngFile(png, Picture{Width, Height, *DecodeRawPicture(RawName(dir, 1), Width, Height)});
    std::vector<double> replaces;
    for (int i = 0; i < 50; ++i) {
        const auto start = Clock::now();
        const auto picture = DecodePictureFile(png);
        const Picture fitted = Flattened(FitPicture(*picture, Width, Height, Fit::Inside));
        BinaryFile file = BinaryFile::Create(out + "/1.bmp");
        file.Write(EncodeBmp24(fitted, replacer));
        file.Close();
        replaces.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(replaces.begin(), replaces.end());
    std::printf("%.2f\n", replaces[replaces.size() / 2] * 1000);
    return 0;
}

// The largest DRM a phone image may hold: 2,999 pictures of noise (a seed
// apart for each image), one icon.
int Drm(const std::string& path, int seed) {
    constexpr int Pictures = 2999;
    samples::DrmPlan plan;
    plan.extended = true;
    plan.tag = samples::TagVariant::At464;
    plan.icons = {samples::GifIcon(16, 16, 1)};
    plan.pictures.reserve(Pictures);
    for (int k = 1; k <= Pictures; ++k) {
        const std::vector<std::uint8_t> raw = MakePicture(k + seed);
        samples::PicturePlan picture;
        picture.width = Width;
        picture.height = Height;
        const std::size_t pixels = static_cast<std::size_t>(Width) * Height;
        picture.pixels.resize(pixels);
        picture.transparent.resize(pixels);
        for (std::size_t p = 0; p < pixels; ++p) {
            picture.pixels[p] = static_cast<std::uint16_t>(raw[2 * p] << 8 | raw[2 * p + 1]);
            picture.transparent[p] = (raw[2 * pixels + p / 8] >> (7 - p % 8)) & 1;
        }
        plan.pictures.push_back(std::move(picture));
    }
    BinaryFile file = BinaryFile::Create(path);
    samples::WriteDrmCodeGroup(plan,
                               [&](std::span<const std::uint8_t> bytes) { file.Write(bytes); });
    file.Close();
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: zantrel-bench-pictures prepare DIR | run DIR OUT | edit DIR OUT | "
                         "drm FILE SEED\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 3 && std::strcmp(argv[1], "prepare") == 0) {
            Prepare(argv[2]);
            return 0;
        }
        if (argc == 4 && std::strcmp(argv[1], "run") == 0)
            return Run(argv[2], argv[3]);
        if (argc == 4 && std::strcmp(argv[1], "edit") == 0)
            return Edit(argv[2], argv[3]);
        if (argc == 4 && std::strcmp(argv[1], "drm") == 0)
            return Drm(argv[2], std::atoi(argv[3]));
        return Usage();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zantrel-bench-pictures: %s\n", e.what());
        return 1;
    }
}
