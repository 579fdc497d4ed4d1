// What the second run's window says about the pending session above its
// thumbnails: the same facts, in the same words, in every front end.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zantrel {

struct SessionLine {
    enum class Role {
        Text,
        Folder,  // a folder the front end offers to open in the file manager
        Warning, // drawn so that it is not missed
        Path,    // a file's path
    };
    std::string label; // "Flash file", "Kind", "Work folder", ...
    std::string value;
    Role role = Role::Text;
    bool operator==(const SessionLine&) const = default;
};

struct SessionSummary {
    std::vector<SessionLine> lines;
    bool pair = false;        // image 2 was decompiled too: its thumbnails show what Port brings
    bool portRefuses = false; // a pair whose DRMs' layouts differ: Port will refuse it
};

// Where a window shows a path in a narrow place: at most maxChars
// characters, the start (drive or root) and the file name kept, "…" for
// what is left out between them. A name too long by itself keeps its start
// and its end. Never for a text the person must be able to copy whole.
std::string ShortenMiddle(std::string_view path, std::size_t maxChars);

// A panel line's value as the windows draw it: a path shortened to
// PanelPathChars (the link still leads to the whole folder).
inline constexpr std::size_t PanelPathChars = 64;
std::string ShownValue(const SessionLine& line);

// Why Port will refuse this pair, in the words of Open's box, Port's hint
// and Port's own box.
std::string PortRefusesText();

// The pending session as start-up left it; empty in a fresh run. Never
// throws: what cannot be read is said in the line's value.
SessionSummary DescribeSession();

// Why the pending session cannot be used (a session file Zantrel did not
// write, image 1's work files gone or damaged, a link where a work folder
// belongs), in words; nullopt when it can, or none is pending.
std::optional<std::string> SessionProblem();

// What the window shows instead of image's thumbnails when its work files
// cannot be listed (error says why): the way out included.
std::string NoDrmToShowText(const std::string& error);

// The folder the user edits in: image 1's icons and picture copies.
std::string EditFolder();

// A count with its noun in the right number: "1 file", "3 files", "no files".
std::string Counted(long n, const std::string& noun);

// "35 icons and 2 pictures", "1 icon and no pictures".
std::string CountIconsAndPictures(long icons, long pictures);

// The name a question or report gives a flash file of the session: its file
// name as recorded at Open, else "image 1" or "image 2".
std::string FlashFileName(int image);

// The title over an image's thumbnails: "Image 1: phone.shx", and for image 2
// "Image 2: other.shx (what Port copies)".
std::string ImageTitle(int image);

} // namespace zantrel
