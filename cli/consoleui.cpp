#include "cli/consoleui.h"

#include <algorithm>

#include "base/unicode.h"

#include "shell/state.h"

namespace zantrel {

namespace {

inline constexpr int BarWidth = 40; // characters between the brackets

} // namespace

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
    std::fprintf(out_, "%s\n", PrintableLines(text).c_str());
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
            std::fprintf(out_, "%s\n", PrintableLines(text).c_str());
        else
            std::fprintf(out_, "%s: %s\n", caption.c_str(), PrintableLines(text).c_str());
    }
    lastStatus_.clear();
    lastMessage_ = text;
    // The details on lines of their own, after the message's line.
    if (!details.empty())
        std::fprintf(out_, "%s\n", PrintableLines(details).c_str());
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
