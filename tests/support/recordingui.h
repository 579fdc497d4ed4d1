// A user-interface sink that records every call and answers the file
// dialogs from queues set up by the test.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/outcome.h"
#include "base/uiops.h"

namespace zantrel::test {

class RecordingUi final : public UiSink {
public:
    RecordingUi();
    ~RecordingUi() override;

    // Answers for the next dialogs; nullopt is a cancel. An empty queue cancels.
    std::deque<std::optional<std::string>> openAnswers;
    std::deque<std::optional<std::string>> saveAnswers;
    // Answers to the next questions; an empty queue answers OK, as a
    // message box is answered.
    std::deque<bool> confirmAnswers;
    // How the next picture questions' check boxes are left; an empty queue
    // leaves them as shown.
    std::deque<bool> checkAnswers;

    struct Message {
        std::string text;
        std::string caption;
        bool operator==(const Message&) const = default;
    };
    struct Dialog {
        std::string title;
        std::string filter;
        bool clearName = false;
        std::string suggested; // a save dialog's offered file
    };
    std::vector<std::string> statusTexts;
    std::vector<int> progress;
    std::vector<bool> progressShown;
    std::vector<Message> messages;
    std::vector<std::string> messageDetails; // one per message, "" for none
    std::vector<Message> questions;
    std::vector<DefaultAnswer> defaultAnswers; // one per question
    std::vector<Dialog> openDialogs;
    std::vector<Dialog> saveDialogs;
    int closeCalls = 0;
    // Every call in order, as one line each ("status: Extracting gifs").
    std::vector<std::string> log;

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
    // Recorded in pictureQuestions, then answered as a question.
    bool AskPictureQuestion(PictureQuestion& question) override;
    std::vector<PictureQuestion> pictureQuestions;
};

// What a command makes of an outcome: a warning, then a refusal's message,
// shown as boxes through the installed sink. Returns the outcome.
Outcome Report(Outcome outcome);

// Messages print as their text and caption in test failures.
inline void PrintTo(const RecordingUi::Message& m, std::ostream* os) {
    *os << "{\"" << m.text << "\", \"" << m.caption << "\"}";
}

} // namespace zantrel::test
