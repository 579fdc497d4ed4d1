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
    return ThumbnailPicture(thumbnail, side, State().replacer);
}

std::optional<Picture> DecodeItemFile(const std::string& path, int width, int height,
                                      Rgb replacer) {
    if (path.empty())
        return std::nullopt;
    if (UpperExtension(path) == ".RAW") {
        if (auto pixels = DecodeRawPicture(path, width, height))
            return Picture{width, height, std::move(*pixels)};
        return std::nullopt;
    }
    return DecodeWorkPicture(path, replacer);
}

Picture ThumbnailPicture(const Thumbnail& thumbnail, int side, Rgb replacer) {
    // A BMP's transparency shows as the question's preview shows it, not as
    // bars of the replacer colour.
    return SquareOf(DecodeItemFile(thumbnail.path, thumbnail.width, thumbnail.height, replacer),
                    side);
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

ThumbnailSquares::ThumbnailSquares(int side)
    : side_(side), slots_(side), worker_([this] { Work(); }) {}

ThumbnailSquares::~ThumbnailSquares() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void ThumbnailSquares::Show(const std::vector<Thumbnail>& thumbnails) {
    std::vector<Thumbnail> shown(thumbnails.size());
    for (std::size_t i = 0; i < thumbnails.size(); ++i) {
        shown[i].path = thumbnails[i].path;
        shown[i].width = thumbnails[i].width;
        shown[i].height = thumbnails[i].height;
    }
    slots_.Clear();
    std::lock_guard lock(mutex_);
    shown_ = std::move(shown);
    replacer_ = State().replacer;
    ++shows_;
    wanted_.clear();
    ready_.clear();
    busy_ = -1;
}

ThumbnailSquares::Place ThumbnailSquares::Take(int index) {
    // Only this thread changes shown_: read here without the lock.
    if (index < 0 || static_cast<std::size_t>(index) >= shown_.size())
        return {};
    const ThumbnailSlots::Place place = slots_.Take(index);
    if (!place.fresh)
        return {place.slot, std::nullopt};
    Place taken{place.slot, Square(index)};
    Plan(index);
    return taken;
}

Picture ThumbnailSquares::Square(int index) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return busy_ != index; });
    if (const auto found = ready_.find(index); found != ready_.end()) {
        Picture square = std::move(found->second);
        ready_.erase(found);
        return square;
    }
    std::erase(wanted_, index);
    const Thumbnail source = shown_[static_cast<std::size_t>(index)];
    const Rgb replacer = replacer_;
    lock.unlock();
    return ThumbnailPicture(source, side_, replacer);
}

void ThumbnailSquares::Plan(int index) {
    // Nearest first on both sides: the list may ask for a screen's
    // thumbnails in either order, and the view may move either way; those
    // behind it mostly have their slots still.
    const int count = static_cast<int>(shown_.size());
    std::vector<int> plan;
    for (int distance = 1;
         distance <= 2 * ThumbnailsAhead && static_cast<int>(plan.size()) < ThumbnailsAhead;
         ++distance)
        for (const int i : {index + distance, index - distance})
            if (i >= 0 && i < count && !slots_.Holds(i))
                plan.push_back(i);
    std::unique_lock lock(mutex_);
    std::unordered_map<int, Picture> kept;
    wanted_.clear();
    for (const int i : plan) {
        if (const auto found = ready_.find(i); found != ready_.end())
            kept.insert(ready_.extract(found));
        else if (i != busy_)
            wanted_.push_back(i);
    }
    ready_ = std::move(kept);
    lock.unlock();
    changed_.notify_all();
}

void ThumbnailSquares::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stop_ || !wanted_.empty(); });
        if (stop_)
            return;
        const int index = wanted_.front();
        wanted_.pop_front();
        const Thumbnail source = shown_[static_cast<std::size_t>(index)];
        const Rgb replacer = replacer_;
        const std::uint64_t show = shows_;
        busy_ = index;
        lock.unlock();
        std::optional<Picture> square;
        try {
            square = ThumbnailPicture(source, side_, replacer);
        } catch (...) {
            // Left to the window's own thread, which decodes it again when shown.
        }
        lock.lock();
        if (square && show == shows_)
            ready_.insert_or_assign(index, std::move(*square));
        if (show == shows_)
            busy_ = -1;
        changed_.notify_all();
    }
}

} // namespace zantrel
