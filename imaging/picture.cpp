#include "imaging/picture.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/primitives.h"

#include "imaging/bmpraw.h"
#include "imaging/pictureheader.h"
#include "imaging/stbimage.h"

namespace zantrel {

namespace {

// A file as stb_image reads it, through the file layer's buffer (and its
// path is the layer's UTF-8, on Windows too). Past the end the decoder gets
// zeros and carries on; ranOut records that it asked, so that a file cut
// short is refused rather than decoded with its missing pixels made up.
struct Source {
    BinaryFile file;
    bool ranOut = false;
};

// The size stb_image refills its buffer with; a read of any other size is
// one of the decoder's own, which a short answer leaves unfinished.
constexpr int RefillSize = 128;

int ReadSome(void* user, char* data, int size) {
    auto* source = static_cast<Source*>(user);
    try {
        const std::size_t got = source->file.Read(
            {reinterpret_cast<std::uint8_t*>(data), static_cast<std::size_t>(std::max(size, 0))});
        if (size > 0 && (got == 0 || (size != RefillSize && got < static_cast<std::size_t>(size))))
            source->ranOut = true;
        return static_cast<int>(got);
    } catch (const IoError&) {
        source->ranOut = true;
        return 0;
    }
}

void Skip(void* user, int count) {
    auto* source = static_cast<Source*>(user);
    try {
        source->file.Seek(std::max<std::int64_t>(0, source->file.Position() + count));
    } catch (const IoError&) {
    }
}

int AtEnd(void* user) {
    auto* source = static_cast<Source*>(user);
    try {
        return source->file.Eof() ? 1 : 0;
    } catch (const IoError&) {
        return 1;
    }
}

constexpr stbi_io_callbacks Callbacks{ReadSome, Skip, AtEnd};

// Pixels of exactly the replacer colour made transparent: a BMP as the
// program's copies mean it.
void MakeTransparent(Picture& picture, Rgb replacer) {
    const std::uint32_t colour = replacer.Pixel();
    for (std::uint32_t& p : picture.pixels)
        if ((p & 0xFFFFFF) == (colour & 0xFFFFFF))
            p = 0;
}

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
    // A pixel fully transparent has no colour: the same picture however
    // the file stored it (an alpha channel, or one colour named transparent).
    for (std::uint32_t& pixel : picture.pixels) {
        const std::uint32_t value = static_cast<std::uint32_t>(rgba[3]) << 24 |
                                    static_cast<std::uint32_t>(rgba[0]) << 16 |
                                    static_cast<std::uint32_t>(rgba[1]) << 8 | rgba[2];
        // Without a branch: on a noisy picture it would be guessed wrong often.
        pixel = value & (0u - static_cast<std::uint32_t>(rgba[3] != 0));
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
std::optional<BinaryFile> OpenPicture(const std::string& path, std::string* why,
                                      PictureHeader& header) {
    const auto fail = [why](std::string_view text) -> std::optional<BinaryFile> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    try {
        std::optional<BinaryFile> file = BinaryFile::TryOpenRead(path);
        if (!file)
            return fail("it cannot be read");
        const Checked<PictureHeader> checked = ReadPictureHeader(*file);
        if (!checked)
            return fail(checked.Why());
        header = *checked;
        file->Seek(0);
        return file;
    } catch (const IoError&) {
        return fail("it cannot be read");
    }
}

} // namespace

std::optional<std::pair<int, int>> ProbePictureFile(const std::string& path, std::string* why) {
    PictureHeader header;
    if (!OpenPicture(path, why, header))
        return std::nullopt;
    return std::make_pair(header.width, header.height);
}

std::optional<Picture> DecodePictureFile(const std::string& path, std::string* why) {
    PictureHeader header;
    std::optional<BinaryFile> file = OpenPicture(path, why, header);
    if (!file)
        return std::nullopt;
    Source source{std::move(*file)};
    int width = 0, height = 0, channels = 0;
    const std::unique_ptr<unsigned char, void (*)(void*)> rgba(
        stbi_load_from_callbacks(&Callbacks, &source, &width, &height, &channels, 4),
        stbi_image_free);
    // The decoder's own words ("outofdata", "expected marker") would mean
    // nothing to a person.
    std::string_view refusal;
    if (source.ranOut)
        refusal = CutShortText;
    else if (!rgba && std::string_view(stbi_failure_reason()) == "outofmem")
        refusal = "there is not enough memory to decode it";
    else if (!rgba || width != header.width || height != header.height)
        refusal = "its pixels are damaged";
    if (!refusal.empty()) {
        if (why)
            *why = refusal;
        return std::nullopt;
    }
    return FromRgbaBytes(rgba.get(), width, height);
}

std::optional<Picture> DecodeWorkPicture(const std::string& path, Rgb replacer) {
    if (UpperExtension(path) != ".BMP")
        return DecodePictureFile(path);
    try {
        if (auto plain = DecodePlainBmp(path, replacer))
            return plain;
    } catch (const IoError&) {
        return std::nullopt;
    }
    auto picture = DecodePictureFile(path);
    if (picture)
        MakeTransparent(*picture, replacer);
    return picture;
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
    WriteFileAtomically(path, EncodePng(picture));
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

std::uint32_t Over(std::uint32_t top, std::uint32_t bottom) {
    const std::uint32_t alpha = top >> 24;
    const auto mix = [alpha](std::uint32_t t, std::uint32_t u) {
        return (t * alpha + u * (255 - alpha) + 127) / 255;
    };
    return 0xFF000000u | mix((top >> 16) & 0xFF, (bottom >> 16) & 0xFF) << 16 |
           mix((top >> 8) & 0xFF, (bottom >> 8) & 0xFF) << 8 | mix(top & 0xFF, bottom & 0xFF);
}

} // namespace zantrel
