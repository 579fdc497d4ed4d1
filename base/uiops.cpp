#include "base/uiops.h"

#include <cmath>

#include "base/paths.h"

namespace zantrel {

namespace {

struct SilentUi final : UiSink {
    void SetStatusText(const std::string&) override {}
    void ShowProgress(bool) override {}
    void SetProgress(int) override {}
    void ShowMessage(const std::string&, const std::string&, const std::string&) override {}
    std::optional<std::string> AskOpenFile(const std::string&, const std::string&, bool) override {
        return std::nullopt;
    }
    std::optional<std::string> AskSaveFile(const std::string&, const std::string&,
                                           const std::string&) override {
        return std::nullopt;
    }
    void CloseMainWindow() override {}
    // Nobody to ask: nothing is confirmed.
    bool AskConfirmation(const std::string&, const std::string&, DefaultAnswer) override {
        return false;
    }
};

SilentUi g_silent;
UiSink* g_sink = &g_silent;
int g_lastProgress = -1;

} // namespace

void InstallUi(UiSink* sink) {
    g_sink = sink ? sink : &g_silent;
    g_lastProgress = -1;
}

UiSink& Ui() { return *g_sink; }

void SetStatusText(const std::string& text) { g_sink->SetStatusText(text); }

void ShowProgress(bool on) {
    g_lastProgress = -1;
    g_sink->ShowProgress(on);
}

void SetProgress(int percent) {
    if (percent == g_lastProgress)
        return;
    g_lastProgress = percent;
    g_sink->SetProgress(percent);
}

void ShowMessage(const std::string& text, const std::string& caption, const std::string& details) {
    g_sink->ShowMessage(text, caption, details);
}

std::optional<std::string> AskOpenFile(const std::string& title, const std::string& filter,
                                       bool clearName) {
    return g_sink->AskOpenFile(title, filter, clearName);
}

std::optional<std::string> AskSaveFile(const std::string& title, const std::string& filter,
                                       const std::string& suggested) {
    return g_sink->AskSaveFile(title, filter, suggested);
}

std::optional<std::string> AskFolder(const std::string& title) { return g_sink->AskFolder(title); }

void CloseMainWindow() { g_sink->CloseMainWindow(); }

bool AskConfirmation(const std::string& text, const std::string& caption, DefaultAnswer answer) {
    return g_sink->AskConfirmation(text, caption, answer);
}

bool AskPictureQuestion(PictureQuestion& question) { return g_sink->AskPictureQuestion(question); }

void ProgressMeter::Report(double part) {
    const int percent = ProgressPercent(part, whole_);
    SetProgress(percent);
    // The next value comes once part / whole passes percent + 0.5; a part
    // right on a half that rounded down to even changes with the next step.
    const double threshold = (percent + 0.5) * whole_ / 100.0;
    next_ = threshold > part ? threshold : std::nextafter(part, HUGE_VAL);
}

ProgressScope::ProgressScope(const std::string& status, ProgressStart start) {
    SetStatusText(status);
    ShowProgress(true);
    if (start == ProgressStart::AtZero)
        SetProgress(0);
}

ProgressScope::~ProgressScope() {
    ShowProgress(false);
    SetStatusText("");
}

std::string WithDefaultExtension(const std::string& path, std::string_view extension) {
    if (FileNamePart(path).find('.') != std::string::npos)
        return path;
    return path + std::string(extension);
}

int ProgressPercent(double part, double whole) {
    if (whole == 0)
        return 0;
    return static_cast<int>(std::nearbyint(part / whole * 100.0));
}

} // namespace zantrel
