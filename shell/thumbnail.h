// A thumbnail of a work item as both windows and the contact sheet draw it:
// what it says, and its picture fitted in a bordered square.
#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>

#include "imaging/picture.h"

#include "shell/workview.h"

namespace zantrel {

struct Thumbnail {
    // What it says under its picture, and whether it is marked or edited.
    WorkItemCaption caption;
    std::string path;       // the file to draw and to open; empty when missing
    std::int64_t bytes = 0; // the file's size
    long number = 0;        // the item's number, for the commands of its menu
    // A raw picture, which only the shell decodes: its slot's size.
    bool raw = false;
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

} // namespace zantrel
