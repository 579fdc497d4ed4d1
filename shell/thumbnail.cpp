#include "shell/thumbnail.h"

#include <algorithm>

#include "base/paths.h"

#include "imaging/decode.h"

#include "shell/state.h"

namespace zantrel {

std::string Thumbnail::Text() const { return caption.name + "\n" + caption.detail; }

std::string Thumbnail::Tip() const {
    std::string tip = path.empty() ? caption.name
                      : bytes < 0  ? path
                                   : path + "\n" + std::to_string(bytes) + " bytes";
    if (!caption.tip.empty())
        tip += "\n" + caption.tip;
    return tip;
}

Thumbnail ThumbnailOf(const WorkItem& work) {
    Thumbnail t;
    t.caption = CaptionOf(work);
    t.path = work.path;
    t.bytes = work.bytes;
    t.number = work.number;
    t.raw = ExtensionOf(work.path) == ".raw";
    t.width = work.slotWidth;
    t.height = work.slotHeight;
    return t;
}

ThumbnailFit FitThumbnail(int width, int height, int side) {
    if (width <= 0 || height <= 0)
        return {};
    const int room = side - side / 12;
    if (width <= room / 2 && height <= room / 2) {
        const int factor = std::min(room / width, room / height);
        return {width * factor, height * factor};
    }
    if (width <= room && height <= room)
        return {width, height};
    if (width >= height)
        return {room, std::max(1, height * room / width)};
    return {std::max(1, width * room / height), room};
}

Picture SquareOf(const std::optional<Picture>& picture, int side) {
    constexpr std::uint32_t Background = 0xFFF4F4F4;
    constexpr std::uint32_t Border = 0xFFC8C8C8;
    Picture canvas = FilledPicture(side, side, Border);
    for (int y = 1; y < side - 1; ++y)
        std::fill_n(&canvas.At(1, y), side - 2, Background);
    if (!picture)
        return canvas;
    const ThumbnailFit fit = FitThumbnail(picture->width, picture->height, side);
    const Picture fitted = ScaleByArea(*picture, fit.width, fit.height);
    const int left = (side - fit.width) / 2, top = (side - fit.height) / 2;
    // Transparent pixels show a checkerboard, the same in the thumbnails, the
    // question's preview and the contact sheet.
    constexpr std::uint32_t Light = 0xFFFFFFFF, Dark = 0xFFDCDCDC;
    constexpr int Check = 6;
    for (int y = 0; y < fit.height; ++y)
        for (int x = 0; x < fit.width; ++x)
            canvas.At(left + x, top + y) =
                Over(fitted.At(x, y), (x / Check + y / Check) % 2 ? Dark : Light);
    return canvas;
}

Picture ThumbnailPicture(const Thumbnail& thumbnail, int side) {
    std::optional<Picture> picture;
    if (thumbnail.raw) {
        if (auto pixels = DecodeRawPicture(thumbnail.path, thumbnail.width, thumbnail.height))
            picture = Picture{thumbnail.width, thumbnail.height, std::move(*pixels)};
    } else if (!thumbnail.path.empty()) {
        // A BMP's transparency is its replacer colour, shown as the question's
        // preview shows it, not as bars of that colour.
        picture = DecodeWorkPicture(thumbnail.path, State().replacer);
    }
    return SquareOf(picture, side);
}

ThumbnailSlots::ThumbnailSlots(int side)
    : capacity_(static_cast<int>(std::max<std::int64_t>(
          256, KeptThumbnailBytes / (4LL * std::max(1, side) * std::max(1, side))))) {}

ThumbnailSlots::Place ThumbnailSlots::Take(int index) {
    if (const auto found = where_.find(index); found != where_.end()) {
        order_.splice(order_.begin(), order_, found->second);
        return {found->second->second, false};
    }
    int slot = static_cast<int>(order_.size());
    if (slot >= capacity_) {
        slot = order_.back().second;
        where_.erase(order_.back().first);
        order_.pop_back();
    }
    order_.emplace_front(index, slot);
    where_[index] = order_.begin();
    return {slot, true};
}

void ThumbnailSlots::Clear() {
    order_.clear();
    where_.clear();
}

} // namespace zantrel
