// A thumbnail of a work item as both windows and the contact sheet draw it:
// what it says, and its picture fitted in a bordered square.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "imaging/picture.h"

#include "shell/workview.h"

namespace zantrel {

struct Thumbnail {
    // What it says under its picture, and whether it is marked or edited.
    WorkItemCaption caption;
    std::string path;       // the file to draw and to open; empty when missing
    std::int64_t bytes = 0; // the file's size
    long number = 0;        // the item's number, for the commands of its menu
    // The slot's size: a raw picture's file does not say it.
    int width = 0;
    int height = 0;
    // Image 2's, in a pair: image 1's item of its number can take it.
    bool takes = false;
    // In a pair: the item shows other pixels than the other image's item of
    // its number (or that one is missing).
    bool differs = false;
    // The name, a line end, the size or the mark.
    std::string Text() const;
    // The file's path and size, and the problem when marked.
    std::string Tip() const;
};

Thumbnail ThumbnailOf(const WorkItem& item);

// A work item's file decoded: a raw picture (".raw") at its slot's width x
// height, any other kind by its content, a BMP's replacer colour transparent;
// nullopt when path is empty or the file cannot be decoded. Touches no shared
// state.
std::optional<Picture> DecodeItemFile(const std::string& path, int width, int height, Rgb replacer);

// How a picture of width x height sits in a thumbnail square of side: small
// icons grow by whole steps so their pixels stay sharp; large pictures
// shrink, keeping their shape.
inline constexpr int ThumbnailSide = 96;
struct ThumbnailFit {
    int width = 0;
    int height = 0;
};
ThumbnailFit FitThumbnail(int width, int height, int side);

// picture fitted in the middle of a light side x side square with a border;
// the bare square when there is none.
Picture SquareOf(const std::optional<Picture>& picture, int side);
// The thumbnail as both windows draw it: a side x side opaque square, light
// with a border, the item's picture (raw, GIF, BMP or any other kind the
// imaging layer reads) fitted in its middle; the bare square when the file is
// missing or cannot be decoded.
Picture ThumbnailPicture(const Thumbnail& thumbnail, int side);
// The same with the replacer colour given: touches no shared state, so any
// thread may call it.
Picture ThumbnailPicture(const Thumbnail& thumbnail, int side, Rgb replacer);

// The drawn thumbnails a window keeps: a thumbnail is decoded when it first
// comes into view, never all before the first paint, and the least recently
// shown give their places back, so memory stays bounded whatever the item
// count (2,999 squares would hold over 100 MB).
inline constexpr std::int64_t KeptThumbnailBytes = 24LL << 20;
class ThumbnailSlots {
public:
    // As many squares of side as KeptThumbnailBytes holds, at least a full
    // screen's worth.
    explicit ThumbnailSlots(int side);
    int Capacity() const { return capacity_; }
    // Whether the thumbnail at index has a slot now.
    bool Holds(int index) const { return where_.contains(index); }
    struct Place {
        int slot = 0;       // 0 .. Capacity() - 1
        bool fresh = false; // the slot held another thumbnail: draw this one into it
    };
    // The place of the thumbnail at index, which comes into view now.
    Place Take(int index);
    // The view was read again: every kept square may be stale.
    void Clear();

private:
    int capacity_;
    // Most recently shown first: (index, slot).
    std::list<std::pair<int, int>> order_;
    std::unordered_map<int, std::list<std::pair<int, int>>::iterator> where_;
};

// The squares of the thumbnails a window shows, in ThumbnailSlots, decoded
// on a thread of their own just ahead of the view: paging through thousands,
// the window finds the next squares done and only draws them. At most
// ThumbnailsAhead squares wait beyond the slots.
inline constexpr int ThumbnailsAhead = 64;
class ThumbnailSquares {
public:
    explicit ThumbnailSquares(int side);
    ~ThumbnailSquares();
    ThumbnailSquares(const ThumbnailSquares&) = delete;
    ThumbnailSquares& operator=(const ThumbnailSquares&) = delete;
    int Side() const { return side_; }
    int Capacity() const { return slots_.Capacity(); }
    // The thumbnails shown from now on. Their files may have changed: no
    // square decoded before is handed out again.
    void Show(const std::vector<Thumbnail>& thumbnails);
    struct Place {
        int slot = -1; // -1: no such thumbnail
        // The slot held another thumbnail: draw this square into it.
        std::optional<Picture> square;
    };
    // The place of the thumbnail at index, which comes into view now. The
    // nearest ones without a slot are decoded ahead.
    Place Take(int index);

private:
    // The square of index: decoded ahead, being decoded, or decoded here.
    Picture Square(int index);
    // What to decode ahead once index came into view.
    void Plan(int index);
    void Work();

    int side_;
    ThumbnailSlots slots_;
    // Shared with the thread, under mutex_. shown_ holds only what decoding
    // reads; shows_ counts Show, so that a square of an earlier one is dropped.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Thumbnail> shown_;
    Rgb replacer_;
    std::uint64_t shows_ = 0;
    std::deque<int> wanted_;
    std::unordered_map<int, Picture> ready_;
    int busy_ = -1; // the index being decoded
    bool stop_ = false;
    std::thread worker_;
};

} // namespace zantrel
