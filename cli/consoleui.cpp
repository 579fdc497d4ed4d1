#include "cli/consoleui.h"

#include <algorithm>

#include "shell/state.h"

namespace zantrel {

namespace {

inline constexpr int BarWidth = 40; // characters between the brackets

// The length of the well-formed UTF-8 sequence at text[at], or 0.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        if (lead == 0xF4)
            high = 0x8F; // past U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
            return 0;
    return length;
}

void AppendEscaped(std::string& out, unsigned char c) {
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 0xF];
}

} // namespace

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const std::size_t length = Utf8Length(text, at);
        // C1 controls are U+0080 to U+009F: 0xC2 0x80 to 0xC2 0x9F.
        const bool control =
            c < 0x20 || c == 0x7F ||
            (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0);
        if (length == 0 || control) {
            for (std::size_t i = 0; i < std::max<std::size_t>(length, 1); ++i)
                AppendEscaped(out, static_cast<unsigned char>(text[at + i]));
            at += std::max<std::size_t>(length, 1);
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

ConsoleUi::ConsoleUi(std::FILE* out, std::FILE* err, bool drawProgress)
    : out_(out), err_(err), drawProgress_(drawProgress) {}

void ConsoleUi::EndBar() {
    if (!barDrawn_)
        return;
    std::fputc('\n', err_);
    std::fflush(err_);
    barDrawn_ = false;
}

void ConsoleUi::SetStatusText(const std::string& text) {
    // An empty text only clears the status bar; nothing to print. Nor is a
    // report the message before it has just printed.
    if (!showStatus || text.empty() || text == lastMessage_)
        return;
    EndBar();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
    lastStatus_ = text;
    lastMessage_.clear();
}

void ConsoleUi::ShowProgress(bool on) {
    if (!on)
        EndBar();
}

void ConsoleUi::SetProgress(int percent) {
    if (!drawProgress_)
        return;
    // Above 100 shows as a full bar.
    int shown = std::clamp(percent, 0, 100);
    int filled = shown * BarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(BarWidth - filled), ' ');
    std::fprintf(err_, "\r[%s] %3d%%", bar.c_str(), shown);
    std::fflush(err_);
    barDrawn_ = true;
}

void ConsoleUi::ShowMessage(const std::string& text, const std::string& caption,
                            const std::string& details) {
    EndBar();
    // A report the status line has just printed is not printed twice.
    if (text != lastStatus_) {
        if (caption.empty())
            std::fprintf(out_, "%s\n", text.c_str());
        else
            std::fprintf(out_, "%s: %s\n", caption.c_str(), text.c_str());
    }
    lastStatus_.clear();
    lastMessage_ = text;
    // The details on lines of their own, after the message's line.
    if (!details.empty())
        std::fprintf(out_, "%s\n", details.c_str());
    std::fflush(out_);
}

// The console's commands take their files as arguments: a dialog the
// command still asks for counts as cancelled.
std::optional<std::string> ConsoleUi::AskOpenFile(const std::string&, const std::string&, bool) {
    return std::nullopt;
}

std::optional<std::string> ConsoleUi::AskSaveFile(const std::string&, const std::string&,
                                                  const std::string&) {
    return std::nullopt;
}

void ConsoleUi::CloseMainWindow() { EndBar(); }

// The console's commands are typed on purpose: the command is the answer.
bool ConsoleUi::AskConfirmation(const std::string&, const std::string&, DefaultAnswer) {
    return true;
}

} // namespace zantrel
