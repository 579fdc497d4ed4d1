// The console's user-interface sink: status texts and message boxes as lines
// on standard output, progress as a bar on standard error (only when that is
// a terminal), escaped by PrintableLines (they name files). The commands take
// their files from the command line, so a file dialog counts as cancelled.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "base/uiops.h"

namespace zantrel {

class ConsoleUi final : public UiSink {
public:
    ConsoleUi(std::FILE* out, std::FILE* err, bool drawProgress);

    // When off, status texts are not printed (messages still are).
    bool showStatus = true;

    void SetStatusText(const std::string& text) override;
    void ShowProgress(bool on) override;
    void SetProgress(int percent) override;
    void ShowMessage(const std::string& text, const std::string& caption,
                     const std::string& details) override;
    std::optional<std::string> AskOpenFile(const std::string& title, const std::string& filter,
                                           bool clearName) override;
    std::optional<std::string> AskSaveFile(const std::string& title, const std::string& filter,
                                           const std::string& suggested) override;
    void CloseMainWindow() override;
    bool AskConfirmation(const std::string& text, const std::string& caption,
                         DefaultAnswer answer) override;

private:
    void EndBar();
    std::FILE* out_;
    std::FILE* err_;
    bool drawProgress_;
    bool barDrawn_ = false;
    // What was printed last, a status text or a message, for either to be
    // printed once when the other says the same.
    std::string lastStatus_;
    std::string lastMessage_;
};

} // namespace zantrel
