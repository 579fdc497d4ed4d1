// The only way the logic reaches a window, a console or a test: the
// user-interface operations, carried out by whichever sink is installed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zantrel {

// The button Enter presses in a question: OK for an action the person has
// just chosen, Cancel for one that deletes or overwrites their work.
enum class DefaultAnswer { Ok, Cancel };

// A question that shows a picture: width x height pixels, 0xAARRGGBB, top
// row first, opaque.
struct PictureQuestion {
    std::string text;
    std::string caption;
    std::vector<std::uint32_t> pixels;
    int width = 0;
    int height = 0;
    std::string checkBox; // the check box's caption; empty for none
    bool checked = false;
    // The picture while the check box is ticked (the same size): the
    // preview follows the box. Empty: the same picture either way.
    std::vector<std::uint32_t> checkedPixels;
    DefaultAnswer answer = DefaultAnswer::Ok;
};

struct UiSink {
    virtual ~UiSink() = default;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void ShowProgress(bool on) = 0;
    virtual void SetProgress(int percent) = 0;
    // details: more lines under the message (the files it concerns, what
    // to do next); empty for none.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             const std::string& details) = 0;
    virtual std::optional<std::string> AskOpenFile(const std::string& title,
                                                   const std::string& filter, bool clearName) = 0;
    // suggested: the file the dialog offers at first (its folder and name);
    // empty for the dialog's own choice.
    virtual std::optional<std::string> AskSaveFile(const std::string& title,
                                                   const std::string& filter,
                                                   const std::string& suggested) = 0;
    // An existing folder; nullopt when cancelled (or nobody can be asked).
    virtual std::optional<std::string> AskFolder(const std::string& /*title*/) {
        return std::nullopt;
    }
    virtual void CloseMainWindow() = 0;
    // A question with OK and Cancel; true for OK.
    virtual bool AskConfirmation(const std::string& text, const std::string& caption,
                                 DefaultAnswer answer) = 0;
    // The same with a picture above the text and, when it has a caption, a
    // check box under it (its state in and out). A sink that cannot show
    // them asks without them.
    virtual bool AskPictureQuestion(PictureQuestion& question) {
        return AskConfirmation(question.text, question.caption, question.answer);
    }
};

// Installs the sink the operations below go to; null restores a silent one.
void InstallUi(UiSink* sink);
UiSink& Ui();

void SetStatusText(const std::string& text);
void ShowProgress(bool on);
// Forwards only when the value differs from the last one since ShowProgress,
// so a loop may call it per item without flooding the window.
void SetProgress(int percent);
void ShowMessage(const std::string& text, const std::string& caption,
                 const std::string& details = {});
std::optional<std::string> AskOpenFile(const std::string& title, const std::string& filter,
                                       bool clearName);
std::optional<std::string> AskSaveFile(const std::string& title, const std::string& filter,
                                       const std::string& suggested = {});
std::optional<std::string> AskFolder(const std::string& title);
void CloseMainWindow();
bool AskConfirmation(const std::string& text, const std::string& caption, DefaultAnswer answer);
bool AskPictureQuestion(PictureQuestion& question);

// Shows the progress bar and a status text for one step of an operation, and
// hides the bar and clears the text when the step ends by any path, an I/O
// failure included. The bar starts at 0, or where the last step left it
// (an SBF file's reading, until its first piece is copied).
enum class ProgressStart { AtZero, WhereItWas };
class ProgressScope {
public:
    explicit ProgressScope(const std::string& status, ProgressStart start = ProgressStart::AtZero);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
};

// A save dialog's default extension (".shx") added to a chosen file name
// that has no extension of its own.
std::string WithDefaultExtension(const std::string& path, std::string_view extension = ".shx");

// part / whole as a percentage, rounded to the nearest integer, halves to even.
int ProgressPercent(double part, double whole);

// For loops that advance by many small steps (an S-record line each): works
// out the percentage only when it can have changed, so a 40 MB file costs
// about a hundred progress calls, not one per line.
class ProgressMeter {
public:
    explicit ProgressMeter(double whole) : whole_(whole) {}
    void Update(double part) {
        if (part >= next_)
            Report(part);
    }

private:
    void Report(double part);
    double whole_;
    double next_ = 0;
};

} // namespace zantrel
