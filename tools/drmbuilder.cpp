#include "tools/drmbuilder.h"

#include <algorithm>
#include <stdexcept>

#include "tools/containers.h"

namespace zantrel::samples {

namespace {

constexpr std::int64_t DirectoryAnchor = 512; // words from 496 to 551
constexpr std::int64_t DirectoryEnd = DirectoryAnchor + 40;
constexpr std::int64_t NameOffsetWithoutTag = 480;
constexpr std::int64_t WrongNameOffset = 484;
constexpr std::uint32_t DescriptorEndMark = 0xFF;
constexpr std::uint32_t SignatureLoadAddress = 0x10D0001C; // the word FindDrmTag looks for at 8

std::int64_t AlignUp16(std::int64_t v) { return (v + 15) / 16 * 16; }

void PutBE32(std::vector<std::uint8_t>& bytes, std::int64_t offset, std::uint32_t value) {
    auto at = static_cast<std::size_t>(offset);
    bytes[at] = static_cast<std::uint8_t>(value >> 24);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 16);
    bytes[at + 2] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 3] = static_cast<std::uint8_t>(value);
}

void AppendBE32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value >> 24));
    bytes.push_back(static_cast<std::uint8_t>(value >> 16));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes.push_back(static_cast<std::uint8_t>(value));
}

void AppendLE16(std::vector<std::uint8_t>& bytes, int value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void AppendLE32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::int64_t TagOffset(TagVariant tag) {
    switch (tag) {
    case TagVariant::At468:
        return 468;
    case TagVariant::At456:
        return 456;
    case TagVariant::At464:
        return 464;
    case TagVariant::SignatureWord:
        break;
    }
    return -1;
}

std::vector<std::uint8_t> DefaultTrail() {
    std::vector<std::uint8_t> trail(32);
    for (std::size_t i = 0; i < trail.size(); ++i)
        trail[i] = static_cast<std::uint8_t>(0x90 + i);
    return trail;
}

const std::vector<std::uint8_t>& TrailOf(const DrmPlan& plan, std::vector<std::uint8_t>& scratch) {
    if (!plan.trail.empty())
        return plan.trail;
    scratch = DefaultTrail();
    return scratch;
}

// Header, tag, directory, picture table: everything of the start region
// before the picture area.
std::vector<std::uint8_t> StartRegionHead(const DrmPlan& plan, const DrmLayout& layout) {
    std::int64_t headEnd = plan.extended ? layout.pictureAreaOffset : layout.iconAreaOffset;
    std::vector<std::uint8_t> head(static_cast<std::size_t>(headEnd), 0);
    const std::uint32_t base = layout.baseAddress;

    std::int64_t nameEntry = 24;
    if (plan.prefix) {
        PutBE32(head, 0, 0);
        PutBE32(head, 4, 0x00000200);
        PutBE32(head, 8, plan.loadAddress);
        nameEntry = plan.extended ? 32 : 36;
    } else {
        PutBE32(head, 0, plan.loadAddress);
    }
    std::int64_t tagOffset = TagOffset(plan.tag);
    std::int64_t nameOffset = tagOffset >= 0 ? tagOffset : NameOffsetWithoutTag;
    if (tagOffset >= 0)
        std::copy_n("_drm", 4, head.begin() + tagOffset);
    else
        std::copy_n("_drm", 4, head.begin() + NameOffsetWithoutTag);
    PutBE32(head, nameEntry, 0x00000001);
    if (plan.nameCheckFails) {
        std::copy_n("_pic", 4, head.begin() + WrongNameOffset);
        PutBE32(head, nameEntry + 4, base + static_cast<std::uint32_t>(WrongNameOffset));
        PutBE32(head, 52, base); // would be the directory, were the name "_drm"
    } else {
        PutBE32(head, nameEntry + 4, base + static_cast<std::uint32_t>(nameOffset));
    }

    std::uint32_t trail = base + static_cast<std::uint32_t>(layout.trailOffset);
    PutBE32(head, layout.directoryPointerOffset,
            base + static_cast<std::uint32_t>(DirectoryAnchor));
    PutBE32(head, DirectoryAnchor - 16, trail + 4);
    PutBE32(head, DirectoryAnchor - 12, trail);
    PutBE32(head, DirectoryAnchor - 8, trail + 8);
    PutBE32(head, DirectoryAnchor - 4, trail + 12);
    PutBE32(head, DirectoryAnchor, base + static_cast<std::uint32_t>(layout.iconAreaOffset));
    PutBE32(head, DirectoryAnchor + 4, base + static_cast<std::uint32_t>(layout.iconTableOffset));
    // Words the DRM code neither reads nor writes: a pattern that must survive.
    for (std::int64_t i = DirectoryAnchor + 8; i < DirectoryEnd; ++i)
        head[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0xC0 + (i & 0x1F));
    if (plan.extended) {
        PutBE32(head, DirectoryAnchor + 32,
                base + static_cast<std::uint32_t>(layout.pictureTableOffset));
        PutBE32(head, DirectoryAnchor + 36,
                base + static_cast<std::uint32_t>(layout.pictureAreaOffset));

        std::size_t r = plan.pictures.size();
        std::uint32_t end = static_cast<std::uint32_t>((layout.pictureOffsets.empty()
                                                            ? 0
                                                            : layout.pictureOffsets.back() +
                                                                  layout.pictureSizes.back() -
                                                                  layout.pictureAreaOffset) /
                                                       2);
        for (std::size_t d = 0; d < r + 4; ++d) {
            std::int64_t at = layout.pictureTableOffset + static_cast<std::int64_t>(16 * d);
            for (int i = 4; i < 12; ++i)
                head[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(0x30 + d + i);
            if (d == r + 3) { // the ending record
                head[static_cast<std::size_t>(at)] = DescriptorEndMark;
                continue;
            }
            head[static_cast<std::size_t>(at + 2)] = 0x77;
            std::uint32_t start = 0;
            if (d >= 1 && d <= r) {
                const PicturePlan& p = plan.pictures[d - 1];
                head[static_cast<std::size_t>(at + 1)] = static_cast<std::uint8_t>(p.width);
                head[static_cast<std::size_t>(at + 3)] = static_cast<std::uint8_t>(p.height);
                start = static_cast<std::uint32_t>(
                    (layout.pictureOffsets[d - 1] - layout.pictureAreaOffset) / 2);
            } else if (d > r) {
                start = end;
            }
            PutBE32(head, at + 12, start);
        }
    }
    return head;
}

} // namespace

DrmLayout LayOutDrm(const DrmPlan& plan) {
    if (plan.loadAddress == 0 && !plan.prefix)
        throw std::invalid_argument("a code group without prefix needs a non-zero load address");
    if (plan.tag == TagVariant::SignatureWord &&
        (!plan.prefix || plan.loadAddress != SignatureLoadAddress))
        throw std::invalid_argument(
            "the signature word needs the prefix and load address 0x10D0001C");
    if (plan.nameCheckFails && !(plan.prefix && plan.extended))
        throw std::invalid_argument(
            "the name check is made only with prefix in the extended layout");
    if (!plan.extended && !plan.pictures.empty())
        throw std::invalid_argument("pictures need the extended layout");
    if (!plan.trail.empty() && plan.trail.size() < 16)
        throw std::invalid_argument("the trail must hold at least 16 bytes");

    DrmLayout layout;
    layout.baseAddress = plan.loadAddress & 0xFFFFFF00u;
    layout.directoryOffset = DirectoryAnchor;
    if (!plan.prefix)
        layout.directoryPointerOffset = 44;
    else if (!plan.extended)
        layout.directoryPointerOffset = 56;
    else
        layout.directoryPointerOffset = plan.nameCheckFails ? 44 : 52;

    std::int64_t at = DirectoryEnd;
    if (plan.extended) {
        at = AlignUp16(at);
        layout.pictureTableOffset = at;
        at += 16 * static_cast<std::int64_t>(plan.pictures.size() + 4);
        layout.pictureAreaOffset = at;
        for (const PicturePlan& p : plan.pictures) {
            if (p.width < 0 || p.width > 255 || p.height < 0 || p.height > 255)
                throw std::invalid_argument("picture sides are bytes");
            if (p.fillerBytes < 0 || p.fillerBytes % 2 != 0)
                throw std::invalid_argument("picture filler must be an even number of bytes");
            std::int64_t n = static_cast<std::int64_t>(p.width) * p.height;
            layout.pictureOffsets.push_back(at);
            layout.pictureSizes.push_back(2 * n + 2 * ((n + 15) / 16) + p.fillerBytes);
            at += layout.pictureSizes.back();
        }
    }
    layout.iconAreaOffset = AlignUp16(at);
    at = layout.iconAreaOffset;
    for (const auto& icon : plan.icons) {
        layout.iconOffsets.push_back(at);
        at += static_cast<std::int64_t>(icon.size());
    }
    layout.iconTableOffset = AlignUp16(at) + (plan.extraIconPadding ? 16 : 0);
    layout.iconTableSize = 4 * static_cast<std::int64_t>(plan.icons.size() + 2) +
                           static_cast<std::int64_t>(plan.strayTableBytes.size());
    layout.trailOffset = layout.iconTableOffset + layout.iconTableSize;
    std::vector<std::uint8_t> scratch;
    layout.totalSize =
        layout.trailOffset + static_cast<std::int64_t>(TrailOf(plan, scratch).size());
    return layout;
}

void WriteDrmCodeGroup(const DrmPlan& plan,
                       const std::function<void(std::span<const std::uint8_t>)>& sink) {
    DrmLayout layout = LayOutDrm(plan);
    sink(StartRegionHead(plan, layout));

    std::int64_t written = plan.extended ? layout.pictureAreaOffset : layout.iconAreaOffset;
    for (const PicturePlan& p : plan.pictures) {
        std::vector<std::uint8_t> raw = RawPictureBytes(p);
        sink(raw);
        written += static_cast<std::int64_t>(raw.size());
    }
    std::vector<std::uint8_t> zeros(static_cast<std::size_t>(layout.iconAreaOffset - written), 0);
    sink(zeros);

    std::vector<std::uint8_t> table;
    AppendBE32(table, 0);
    AppendBE32(table, 0);
    std::uint32_t sum = 0;
    for (const auto& icon : plan.icons) {
        sink(icon);
        sum += static_cast<std::uint32_t>(icon.size());
        AppendBE32(table, sum);
    }
    std::int64_t iconEnd =
        layout.iconOffsets.empty()
            ? layout.iconAreaOffset
            : layout.iconOffsets.back() + static_cast<std::int64_t>(plan.icons.back().size());
    zeros.assign(static_cast<std::size_t>(layout.iconTableOffset - iconEnd), 0);
    sink(zeros);
    table.insert(table.end(), plan.strayTableBytes.begin(), plan.strayTableBytes.end());
    sink(table);
    std::vector<std::uint8_t> scratch;
    sink(TrailOf(plan, scratch));
}

std::vector<std::uint8_t> BuildDrmCodeGroup(const DrmPlan& plan) {
    std::vector<std::uint8_t> bytes;
    WriteDrmCodeGroup(plan, [&](std::span<const std::uint8_t> piece) {
        bytes.insert(bytes.end(), piece.begin(), piece.end());
    });
    return bytes;
}

std::vector<std::uint8_t> GifIcon(int w, int h, std::uint8_t seed) {
    std::vector<std::uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a'};
    AppendLE16(gif, w);
    AppendLE16(gif, h);
    gif.push_back(0x91); // global colour table of 4 entries
    gif.push_back(0);
    gif.push_back(0);
    for (int i = 0; i < 12; ++i)
        gif.push_back(static_cast<std::uint8_t>(seed * 31 + i * 53));
    gif.push_back(0x2C);
    AppendLE16(gif, 0);
    AppendLE16(gif, 0);
    AppendLE16(gif, w);
    AppendLE16(gif, h);
    gif.push_back(0);
    gif.push_back(2); // minimum code size

    // 3-bit codes; a clear code after every two literals keeps the table from
    // growing to the point where the code width would change.
    std::vector<std::uint8_t> data;
    std::uint32_t acc = 0;
    int bits = 0;
    auto emit = [&](std::uint32_t code) {
        acc |= code << bits;
        bits += 3;
        while (bits >= 8) {
            data.push_back(static_cast<std::uint8_t>(acc));
            acc >>= 8;
            bits -= 8;
        }
    };
    constexpr std::uint32_t Clear = 4, End = 5;
    int count = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (count % 2 == 0)
                emit(Clear);
            emit(static_cast<std::uint32_t>((x + 2 * y + seed) % 4));
            ++count;
        }
    emit(End);
    if (bits > 0)
        data.push_back(static_cast<std::uint8_t>(acc));
    for (std::size_t i = 0; i < data.size(); i += 255) {
        std::size_t n = std::min<std::size_t>(255, data.size() - i);
        gif.push_back(static_cast<std::uint8_t>(n));
        gif.insert(gif.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    gif.push_back(0);
    gif.push_back(0x3B);
    return gif;
}

std::vector<std::uint8_t> BmpIcon(int w, int h, std::uint8_t seed) {
    int pad = (4 - (3 * w) % 4) % 4;
    std::uint32_t image = static_cast<std::uint32_t>(h * (3 * w + pad));
    std::vector<std::uint8_t> bmp = {'B', 'M'};
    AppendLE32(bmp, 54 + image);
    AppendLE32(bmp, 0);
    AppendLE32(bmp, 54);
    AppendLE32(bmp, 40);
    AppendLE32(bmp, static_cast<std::uint32_t>(w));
    AppendLE32(bmp, static_cast<std::uint32_t>(h));
    AppendLE16(bmp, 1);
    AppendLE16(bmp, 24);
    AppendLE32(bmp, 0);
    AppendLE32(bmp, image);
    for (int i = 0; i < 4; ++i)
        AppendLE32(bmp, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            bmp.push_back(static_cast<std::uint8_t>(seed + 3 * x));
            bmp.push_back(static_cast<std::uint8_t>(seed + 5 * y));
            bmp.push_back(static_cast<std::uint8_t>(seed ^ (x + y)));
        }
        bmp.insert(bmp.end(), static_cast<std::size_t>(pad), 0);
    }
    return bmp;
}

PicturePlan SamplePicture(int w, int h, std::uint8_t seed, bool withMask, int fillerBytes) {
    constexpr std::uint16_t Magenta = 0xF81F;
    PicturePlan p;
    p.width = w;
    p.height = h;
    p.fillerBytes = fillerBytes;
    std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    p.pixels.resize(n);
    if (withMask)
        p.transparent.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        auto v = static_cast<std::uint16_t>(i * 0x0841u + seed * 0x1003u + 7);
        if (v == Magenta)
            v ^= 0x0020;
        p.pixels[i] = v;
        if (withMask && (i * 7 + seed) % 5 == 0) {
            p.transparent[i] = true;
            p.pixels[i] = Magenta;
        }
    }
    return p;
}

std::vector<std::uint8_t> RawPictureBytes(const PicturePlan& picture) {
    std::size_t n =
        static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height);
    std::vector<std::uint8_t> raw;
    raw.reserve(2 * n + 2 * ((n + 15) / 16) + static_cast<std::size_t>(picture.fillerBytes));
    for (std::size_t i = 0; i < n; ++i) {
        std::uint16_t v = i < picture.pixels.size() ? picture.pixels[i] : 0;
        raw.push_back(static_cast<std::uint8_t>(v >> 8));
        raw.push_back(static_cast<std::uint8_t>(v));
    }
    for (std::size_t word = 0; word < (n + 15) / 16; ++word) {
        std::uint16_t bits = 0;
        for (std::size_t b = 0; b < 16; ++b) {
            std::size_t i = word * 16 + b;
            if (i < n && i < picture.transparent.size() && picture.transparent[i])
                bits |= static_cast<std::uint16_t>(0x8000u >> b);
        }
        raw.push_back(static_cast<std::uint8_t>(bits >> 8));
        raw.push_back(static_cast<std::uint8_t>(bits));
    }
    for (int i = 0; i < picture.fillerBytes; ++i)
        raw.push_back(static_cast<std::uint8_t>(0xE0 + (i & 0x0F)));
    return raw;
}

DrmPlan SmallExtendedPlan(std::uint8_t seed) {
    DrmPlan plan;
    plan.extended = true;
    plan.prefix = true;
    plan.tag = TagVariant::At464;
    plan.icons = {GifIcon(12, 10, seed), BmpIcon(9, 8, static_cast<std::uint8_t>(seed + 1)),
                  GifIcon(16, 16, static_cast<std::uint8_t>(seed + 2))};
    plan.pictures = {SamplePicture(3, 2, static_cast<std::uint8_t>(seed + 3), true, 0),
                     SamplePicture(40, 30, static_cast<std::uint8_t>(seed + 4), false, 2)};
    return plan;
}

void WriteSampleSuperfile(const std::string& path, const DrmPlan& plan, std::uint32_t seed) {
    WriteSuperfileFile(path, {PatternPiece(RamdldSlot, 0x03FC8000, 600, seed),
                              BytesPiece(15, plan.loadAddress, BuildDrmCodeGroup(plan))});
}

} // namespace zantrel::samples
