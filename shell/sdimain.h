// The main window's commands, written against the user-interface operations
// so that the window program, the console front end and the tests share them.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <type_traits>

#include "base/outcome.h"
#include "base/uiops.h"

namespace zantrel {

// Every kind Open reads first; a raw image may have any name, hence the last.
inline constexpr std::string_view OpenFilter =
    "All flash files|*.shx;*.sbf;*.bin;*.smg|SHX files|*.shx|SBF files|*.sbf|BIN files|*.bin|"
    "SMG files|*.smg|All files|*.*";

// How a command ended, for front ends that report it (the console's exit status).
enum class CommandResult {
    Completed, // ran to its end (a warning or a cancel included)
    Failed,    // stopped by an I/O failure, reported through the error reporter
    Refused,   // an input was refused; its message was shown
    Stopped,   // ended early on an expected outcome its "Error" box told (no DRM found,
               // incompatible DRMs)
};

// Start-up. Stopped, after a box that says so, when another Zantrel runs in
// this start folder.
CommandResult InitApp();
// The same facts without a change on disk: no settings file, no work tree,
// no clean-up (the console's session and exit).
CommandResult InitAppReadOnly();
// Save As's work for a superfile or SBF session: image 1's code group
// compiled, then the superfile written around it and verified; both put in
// place together.
Outcome SaveSuperfile();
// Save As's work for a raw session: the compiled code group.
Outcome SaveRawImage();
// The files a command was given instead of asking its dialogs (the
// console's arguments, a file dropped on the window). With first given, the
// second dialog's answer is second (nullopt: cancelled).
struct OpenAnswers {
    std::optional<std::string> first;
    std::optional<std::string> second;
};
CommandResult OpenFlashFiles(const OpenAnswers& given);
// given: the file to save as, instead of the save dialog's answer. A name
// without an extension gets ".shx" either way.
CommandResult SaveAs(const std::optional<std::string>& given);
// The menu's Open and Save As: every answer from the dialogs.
CommandResult FileOpen1Execute();
CommandResult FileSave1Execute();
CommandResult Port1Click();
CommandResult FileExit1Execute();
// Ends a pending session on purpose, after a question that says what goes:
// the session file and every work file, edits included.
CommandResult FileDiscard1Execute();

// A refusal's message, shown once, in the box every refusal has (captioned
// "Error", or with the command's name); Refused for it, else Completed.
CommandResult ShowRefusal(const Outcome& outcome, std::string_view caption = "Error");

// Runs a command (or a step that returns nothing, as Completed); an I/O
// failure (or any other exception, as a last resort) is caught here and
// shown through the error reporter.
CommandResult RunGuarded(const std::function<CommandResult()>& command);
template <class Command> CommandResult RunCommand(Command&& command) {
    if constexpr (std::is_void_v<std::invoke_result_t<Command>>)
        return RunGuarded([&] {
            command();
            return CommandResult::Completed;
        });
    else
        return RunGuarded(command);
}
// Set by the front end: shows an I/O failure's message, the path of the
// file or folder it concerns (empty when none) and what the person can do
// next, in the error box.
using ErrorReporter = std::function<void(const std::string& message, const std::string& path,
                                         const std::string& next)>;
void SetErrorReporter(ErrorReporter reporter);

} // namespace zantrel
