#include "shell/summary.h"

#include <algorithm>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/worktree.h"

#include "drm/drmpack.h"
#include "drm/port.h"

#include "shell/open.h"
#include "shell/session.h"
#include "shell/state.h"

namespace zantrel {

namespace {

constexpr std::string_view Ellipsis = "\xE2\x80\xA6"; // "…"

bool IsCharStart(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

std::size_t CharCount(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), IsCharStart));
}

// The bytes of text's first n characters.
std::size_t BytesOfFirst(std::string_view text, std::size_t n) {
    std::size_t at = 0;
    for (std::size_t chars = 0; at < text.size(); ++at)
        if (IsCharStart(text[at]) && chars++ == n)
            break;
    return at;
}

// The length of path's root: "/", "C:\", "\\server\share\"; 0 when relative.
std::size_t RootLength(std::string_view path) {
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        std::size_t at = 2;
        for (int part = 0; part < 2 && at < path.size(); ++part) {
            while (at < path.size() && !IsPathSeparator(path[at]))
                ++at;
            at += at < path.size();
        }
        return at;
    }
    if (path.size() >= 2 && path[1] == ':')
        return path.size() > 2 && IsPathSeparator(path[2]) ? 3 : 2;
    return !path.empty() && IsPathSeparator(path[0]) ? 1 : 0;
}

std::string KindText(bool pair) {
    const SharedState& s = State();
    std::string kind;
    if (s.sessionMode & ModeRawImage)
        kind = "Raw code-group image";
    else if (s.firstFlashPath.empty())
        kind = "Superfile or SBF file";
    else
        kind = FlashKindOf(s.firstFlashPath) == FlashKind::Sbf ? "SBF file" : "Superfile";
    return kind + (pair ? ", two images" : ", one image");
}

// An image's counts from its "descr.dat", or why they cannot be read.
SessionLine ImageLine(int image) {
    SessionLine line{"Image " + std::to_string(image), {}};
    try {
        const DrmRecords records = ReadDescr(JoinPath(FoldersOf(image).drmpackDir, DescrFileName));
        if (auto bad = CheckDescr(records)) {
            line.value = *bad;
            line.role = SessionLine::Role::Warning;
            return line;
        }
        line.value =
            CountIconsAndPictures(records.iconCount, records.extended ? records.pictureCount : 0) +
            (records.extended ? " (extended DRM)" : " (basic DRM)");
    } catch (const IoError& e) {
        line.value = "not readable: " + IoErrorMessage(e.Code()) + " " + e.Path();
        line.role = SessionLine::Role::Warning;
    }
    return line;
}

SessionLine PortLine() {
    PortResult plan;
    try {
        plan = PlanPort(FoldersOf(1), FoldersOf(2));
    } catch (const IoError& e) {
        plan = {PortOutcome::Refused, IoErrorMessage(e.Code()) + " " + e.Path()};
    }
    switch (plan.outcome) {
    case PortOutcome::Ported:
        return {"Port", "copies " + CountIconsAndPictures(plan.icons, plan.pictures) + " of " +
                            FlashFileName(2) + " over those of " + FlashFileName(1)};
    case PortOutcome::Incompatible:
        return {"Port", PortRefusesText(), SessionLine::Role::Warning};
    case PortOutcome::Refused:
        break;
    }
    return {"Port", "cannot work: " + plan.message, SessionLine::Role::Warning};
}

} // namespace

std::string PortRefusesText() {
    return "Port will refuse this pair: the DRMs of " + FlashFileName(1) + " and " +
           FlashFileName(2) + " have different layouts";
}

std::string Counted(long n, const std::string& noun) {
    if (n == 0)
        return "no " + noun + "s";
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string CountIconsAndPictures(long icons, long pictures) {
    return Counted(icons, "icon") + " and " + Counted(pictures, "picture");
}

std::string FlashFileName(int image) {
    const SharedState& s = State();
    const std::string& path = image == 1 ? s.firstFlashPath : s.secondFlashPath;
    return path.empty() ? "image " + std::to_string(image) : FileNamePart(path);
}

std::string ImageTitle(int image) {
    return "Image " + std::to_string(image) + ": " + FlashFileName(image) +
           (image == 2 ? " (what Port copies)" : "");
}

std::string EditFolder() { return State().icons1Dir; }

std::optional<std::string> SessionProblem() {
    const SharedState& s = State();
    if (s.freshSession)
        return std::nullopt;
    const int count = ImageCountOf(s.sessionMode);
    if (count != ModeSingle && count != ModePair)
        return "the session file " + std::string(SessionFileName) +
               " does not hold a session Zantrel wrote";
    for (const std::string* folder : {&s.binary1Dir, &s.drmpack1Dir, &s.icons1Dir})
        if (IsLink(*folder))
            return *folder + " is a link; Zantrel works only inside the work folder";
    if (!FolderExists(s.binary1Dir))
        return "its work files are gone (" + s.binary1Dir + " is not there)";
    try {
        if (auto bad = CheckDescr(ReadDescr(JoinPath(s.drmpack1Dir, DescrFileName))))
            return "its work files are damaged: " + *bad;
    } catch (const IoError& e) {
        return "its work files are damaged or gone (" + IoErrorText(e.Code()) + ": " + e.Path() +
               ")";
    }
    return std::nullopt;
}

std::string NoDrmToShowText(const std::string& error) {
    std::string text = "The work folder holds no decompiled DRM to show.";
    if (!error.empty())
        text += "\n" + error;
    if (auto problem = SessionProblem())
        text += "\n\nThis session cannot be used: " + *problem +
                ". Choose File > Discard Session... to end it, then open the flash file again.";
    return text;
}

std::string ShortenMiddle(std::string_view path, std::size_t maxChars) {
    if (CharCount(path) <= maxChars)
        return std::string(path);
    const std::string_view root = path.substr(0, RootLength(path));
    // Whole folders back from the name, as many as fit after the root.
    std::size_t kept = path.size();
    for (std::size_t at = path.size(); at-- > root.size();) {
        if (!IsPathSeparator(path[at]))
            continue;
        if (CharCount(root) + 1 + CharCount(path.substr(at)) > maxChars)
            break;
        kept = at;
    }
    if (kept < path.size())
        return std::string(root) + std::string(Ellipsis) + std::string(path.substr(kept));
    if (maxChars == 0)
        return {};
    // No room for the name whole: its end (the extension) matters most.
    const std::size_t front = (maxChars - 1) / 3;
    const std::size_t back = maxChars - 1 - front;
    return std::string(path.substr(0, BytesOfFirst(path, front))) + std::string(Ellipsis) +
           std::string(path.substr(BytesOfFirst(path, CharCount(path) - back)));
}

std::string ShownValue(const SessionLine& line) {
    const bool path =
        line.role == SessionLine::Role::Folder || line.role == SessionLine::Role::Path;
    return path ? ShortenMiddle(line.value, PanelPathChars) : line.value;
}

SessionSummary DescribeSession() {
    const SharedState& s = State();
    SessionSummary summary;
    if (s.freshSession)
        return summary;
    summary.pair = ImageCountOf(s.sessionMode) == ModePair;
    const std::string unknown =
        FolderExists(s.binary1Dir) ? "not recorded (opened by an earlier version)" : "not recorded";
    auto& lines = summary.lines;
    if (auto problem = SessionProblem())
        lines.push_back(
            {"Session",
             "cannot be used: " + *problem + ". Choose File > Discard Session... to end it.",
             SessionLine::Role::Warning});
    lines.push_back({"Flash file", s.firstFlashPath.empty() ? unknown : s.firstFlashPath,
                     SessionLine::Role::Path});
    if (summary.pair)
        lines.push_back({"Port source", s.secondFlashPath.empty() ? unknown : s.secondFlashPath,
                         SessionLine::Role::Path});
    lines.push_back({"Kind", KindText(summary.pair)});
    lines.push_back({"Work folder", EditFolder(), SessionLine::Role::Folder});
    lines.push_back(ImageLine(1));
    if (summary.pair)
        lines.push_back(ImageLine(2));
    lines.push_back({"Save As writes", (s.sessionMode & ModeRawImage)
                                           ? "the compiled code group, as the .bin file you name"
                                           : "a new superfile (.shx) you name, and its compiled "
                                             "code group (.bin) beside it"});
    if (summary.pair) {
        lines.push_back(PortLine());
        summary.portRefuses = lines.back().value == PortRefusesText();
    }
    return summary;
}

} // namespace zantrel
