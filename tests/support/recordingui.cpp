#include "support/recordingui.h"

namespace zantrel::test {

RecordingUi::RecordingUi() { InstallUi(this); }

RecordingUi::~RecordingUi() { InstallUi(nullptr); }

void RecordingUi::SetStatusText(const std::string& text) {
    statusTexts.push_back(text);
    log.push_back("status: " + text);
}

void RecordingUi::ShowProgress(bool on) {
    progressShown.push_back(on);
    log.push_back(on ? "progress: on" : "progress: off");
}

void RecordingUi::SetProgress(int percent) {
    progress.push_back(percent);
    log.push_back("progress: " + std::to_string(percent));
}

void RecordingUi::ShowMessage(const std::string& text, const std::string& caption,
                              const std::string& details) {
    messages.push_back({text, caption});
    messageDetails.push_back(details);
    log.push_back("message: " + caption + ": " + text);
}

std::optional<std::string> RecordingUi::AskOpenFile(const std::string& title,
                                                    const std::string& filter, bool clearName) {
    openDialogs.push_back({title, filter, clearName, {}});
    log.push_back("open: " + title);
    if (openAnswers.empty())
        return std::nullopt;
    auto answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

std::optional<std::string> RecordingUi::AskSaveFile(const std::string& title,
                                                    const std::string& filter,
                                                    const std::string& suggested) {
    saveDialogs.push_back({title, filter, false, suggested});
    log.push_back("save: " + title);
    if (saveAnswers.empty())
        return std::nullopt;
    auto answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}

void RecordingUi::CloseMainWindow() {
    ++closeCalls;
    log.push_back("close");
}

bool RecordingUi::AskPictureQuestion(PictureQuestion& question) {
    if (!checkAnswers.empty()) {
        question.checked = checkAnswers.front();
        checkAnswers.pop_front();
    }
    pictureQuestions.push_back(question);
    return AskConfirmation(question.text, question.caption, question.answer);
}

bool RecordingUi::AskConfirmation(const std::string& text, const std::string& caption,
                                  DefaultAnswer byDefault) {
    questions.push_back({text, caption});
    defaultAnswers.push_back(byDefault);
    log.push_back("question: " + text);
    if (confirmAnswers.empty())
        return true;
    const bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
}

Outcome Report(Outcome outcome) {
    if (!outcome.warning.empty())
        ShowMessage(outcome.warning, "Warning");
    if (outcome.Refused())
        ShowMessage(outcome.message, "Error");
    return outcome;
}

} // namespace zantrel::test
