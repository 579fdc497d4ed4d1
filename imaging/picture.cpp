#include "imaging/picture.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>

#include "base/fileio.h"
#include "base/primitives.h"
#include "imaging/bmpraw.h"
#include "imaging/stbimage.h"

namespace zantrel {

namespace {

// stb_image reads through these, so a file is streamed through the file
// layer's buffer (and its path is the layer's UTF-8, on Windows too).
int ReadSome(void* user, char* data, int size) {
    auto* file = static_cast<BinaryFile*>(user);
    try {
        return static_cast<int>(file->Read(
            {reinterpret_cast<std::uint8_t*>(data), static_cast<std::size_t>(std::max(size, 0))}));
    } catch (const IoError&) {
        return 0;
    }
}

void Skip(void* user, int count) {
    auto* file = static_cast<BinaryFile*>(user);
    try {
        file->Seek(std::max<std::int64_t>(0, file->Position() + count));
    } catch (const IoError&) {
    }
}

int AtEnd(void* user) {
    auto* file = static_cast<BinaryFile*>(user);
    try {
        return file->Eof() ? 1 : 0;
    } catch (const IoError&) {
        return 1;
    }
}

constexpr stbi_io_callbacks Callbacks{ReadSome, Skip, AtEnd};

} // namespace

std::vector<unsigned char> RgbaBytes(const Picture& picture) {
    std::vector<unsigned char> rgba(picture.pixels.size() * 4);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        const std::uint32_t p = picture.pixels[i];
        rgba[4 * i] = static_cast<unsigned char>(p >> 16);
        rgba[4 * i + 1] = static_cast<unsigned char>(p >> 8);
        rgba[4 * i + 2] = static_cast<unsigned char>(p);
        rgba[4 * i + 3] = static_cast<unsigned char>(p >> 24);
    }
    return rgba;
}

Picture FromRgbaBytes(const unsigned char* rgba, int width, int height) {
    Picture picture = FilledPicture(width, height, 0);
    for (std::uint32_t& pixel : picture.pixels) {
        pixel = static_cast<std::uint32_t>(rgba[3]) << 24 |
                static_cast<std::uint32_t>(rgba[0]) << 16 |
                static_cast<std::uint32_t>(rgba[1]) << 8 | rgba[2];
        rgba += 4;
    }
    return picture;
}

Picture FilledPicture(int width, int height, std::uint32_t colour) {
    Picture picture;
    picture.width = std::max(width, 0);
    picture.height = std::max(height, 0);
    picture.pixels.assign(static_cast<std::size_t>(picture.width) * picture.height, colour);
    return picture;
}

namespace {

// The file opened and its header checked; nullopt with why when refused.
std::optional<BinaryFile> OpenPicture(const std::string& path, std::string* why, int& width,
                                      int& height) {
    const auto fail = [why](std::string text) -> std::optional<BinaryFile> {
        if (why)
            *why = std::move(text);
        return std::nullopt;
    };
    std::optional<BinaryFile> file;
    try {
        file = BinaryFile::TryOpenRead(path);
    } catch (const IoError&) {
    }
    if (!file)
        return fail("it cannot be read");
    int channels = 0;
    if (!stbi_info_from_callbacks(&Callbacks, &*file, &width, &height, &channels)) {
        // The decoder refuses a huge size without saying which: the header tells.
        std::uint8_t head[26] = {};
        std::size_t got = 0;
        try {
            file->Seek(0);
            got = file->Read(head);
        } catch (const IoError&) {
        }
        std::int64_t w = 0, h = 0;
        if (got >= 24 && head[0] == 0x89 && head[1] == 'P') {
            w = LoadBE32(head + 16);
            h = LoadBE32(head + 20);
        } else if (got >= 10 && head[0] == 'G' && head[1] == 'I') {
            w = head[6] | head[7] << 8;
            h = head[8] | head[9] << 8;
        } else if (got >= 26 && head[0] == 'B' && head[1] == 'M') {
            w = static_cast<std::int32_t>(LoadLE32(head + 18));
            h = std::abs(static_cast<std::int64_t>(static_cast<std::int32_t>(LoadLE32(head + 22))));
        }
        if (w > MaxDecodedSide || h > MaxDecodedSide)
            return fail("it is too large (" + std::to_string(w) + " x " + std::to_string(h) +
                        " pixels)");
        return fail("it is not a PNG, JPEG, GIF, BMP or TGA picture Zantrel can read");
    }
    if (width <= 0 || height <= 0 || width > MaxDecodedSide || height > MaxDecodedSide)
        return fail("it is too large (" + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels)");
    try {
        file->Seek(0);
    } catch (const IoError&) {
        return fail("it cannot be read");
    }
    return file;
}

} // namespace

std::optional<std::pair<int, int>> ProbePictureFile(const std::string& path, std::string* why) {
    int width = 0, height = 0;
    if (!OpenPicture(path, why, width, height))
        return std::nullopt;
    return std::make_pair(width, height);
}

std::optional<Picture> DecodePictureFile(const std::string& path, std::string* why) {
    int width = 0, height = 0, channels = 0;
    std::optional<BinaryFile> file = OpenPicture(path, why, width, height);
    if (!file)
        return std::nullopt;
    const std::unique_ptr<unsigned char, void (*)(void*)> rgba(
        stbi_load_from_callbacks(&Callbacks, &*file, &width, &height, &channels, 4),
        stbi_image_free);
    if (!rgba) {
        if (why)
            *why = "it is damaged (" + std::string(stbi_failure_reason()) + ")";
        return std::nullopt;
    }
    return FromRgbaBytes(rgba.get(), width, height);
}

Picture ScaleByArea(const Picture& picture, int width, int height) {
    Picture scaled = FilledPicture(width, height, 0);
    if (picture.Empty() || scaled.Empty())
        return scaled;
    for (int y = 0; y < height; ++y) {
        const int y0 = static_cast<int>(static_cast<std::int64_t>(y) * picture.height / height);
        const int y1 = std::max(
            y0 + 1, static_cast<int>(static_cast<std::int64_t>(y + 1) * picture.height / height));
        for (int x = 0; x < width; ++x) {
            const int x0 = static_cast<int>(static_cast<std::int64_t>(x) * picture.width / width);
            const int x1 = std::max(
                x0 + 1, static_cast<int>(static_cast<std::int64_t>(x + 1) * picture.width / width));
            std::uint64_t a = 0, r = 0, g = 0, b = 0, n = 0;
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx) {
                    const std::uint32_t p = picture.At(sx, sy);
                    const std::uint32_t alpha = p >> 24;
                    a += alpha;
                    r += ((p >> 16) & 0xFF) * alpha;
                    g += ((p >> 8) & 0xFF) * alpha;
                    b += (p & 0xFF) * alpha;
                    ++n;
                }
            if (a != 0)
                scaled.At(x, y) = static_cast<std::uint32_t>(a / n) << 24 |
                                  static_cast<std::uint32_t>(r / a) << 16 |
                                  static_cast<std::uint32_t>(g / a) << 8 |
                                  static_cast<std::uint32_t>(b / a);
        }
    }
    return scaled;
}

void WritePngFile(const std::string& path, const Picture& picture) {
    const std::vector<unsigned char> rgba = RgbaBytes(picture);
    // The lowest level stb offers: its deflate is most of an export's time,
    // and a higher level saves about one per cent.
    stbi_write_png_compression_level = 5;
    AtomicOutput output(path);
    BinaryFile file = output.Create();
    // stb hands the finished PNG over in pieces; the first failure is kept
    // and thrown once it is back.
    struct Sink {
        BinaryFile* file;
        std::optional<IoError> failure;
    } sink{&file, std::nullopt};
    const auto write = [](void* user, void* data, int size) {
        auto* to = static_cast<Sink*>(user);
        if (to->failure)
            return;
        try {
            to->file->Write(
                {static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size)});
        } catch (const IoError& error) {
            to->failure = error;
        }
    };
    if (!stbi_write_png_to_func(write, &sink, picture.width, picture.height, 4, rgba.data(),
                                picture.width * 4))
        throw std::bad_alloc(); // its only failure
    if (sink.failure)
        throw *sink.failure;
    file.Close();
    output.Commit();
}

std::vector<std::uint8_t> EncodeBmp24(const Picture& picture, Rgb replacerColour) {
    const std::uint32_t replacer = replacerColour.Pixel();
    const std::size_t rowSize = (static_cast<std::size_t>(picture.width) * 3 + 3) & ~std::size_t{3};
    const std::size_t imageSize = rowSize * static_cast<std::size_t>(picture.height);
    std::vector<std::uint8_t> bmp(54 + imageSize, 0);
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, static_cast<std::uint32_t>(bmp.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(picture.width));
    put32(22, static_cast<std::uint32_t>(picture.height));
    bmp[26] = 1;
    bmp[28] = 24;
    put32(34, static_cast<std::uint32_t>(imageSize));
    for (int y = 0; y < picture.height; ++y) {
        std::uint8_t* row =
            bmp.data() + 54 + rowSize * static_cast<std::size_t>(picture.height - 1 - y);
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t p = picture.At(x, y);
            std::uint32_t colour = p & 0xFFFFFF;
            if ((p >> 24) < 128)
                colour = replacer;
            else
                colour = AvoidReplacer(colour, replacer);
            row[3 * x] = static_cast<std::uint8_t>(colour);
            row[3 * x + 1] = static_cast<std::uint8_t>(colour >> 8);
            row[3 * x + 2] = static_cast<std::uint8_t>(colour >> 16);
        }
    }
    return bmp;
}

Picture Flattened(Picture picture) {
    for (std::uint32_t& p : picture.pixels)
        p = (p >> 24) < 128 ? 0u : (p | 0xFF000000u);
    return picture;
}

void MakeTransparent(Picture& picture, Rgb replacer) {
    const std::uint32_t colour = replacer.Pixel();
    for (std::uint32_t& p : picture.pixels)
        if ((p & 0xFFFFFF) == (colour & 0xFFFFFF))
            p = 0;
}

std::uint32_t Over(std::uint32_t top, std::uint32_t bottom) {
    const std::uint32_t alpha = top >> 24;
    const auto mix = [alpha](std::uint32_t t, std::uint32_t u) {
        return (t * alpha + u * (255 - alpha) + 127) / 255;
    };
    return 0xFF000000u | mix((top >> 16) & 0xFF, (bottom >> 16) & 0xFF) << 16 |
           mix((top >> 8) & 0xFF, (bottom >> 8) & 0xFF) << 8 | mix(top & 0xFF, bottom & 0xFF);
}

} // namespace zantrel
