// The settings dialog's logic: its boxes, their immediate effects on the
// shared state, and what OK writes. The window (ui/) and the console only
// carry the clicks here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/rgb.h"

#include "shell/help.h"

namespace zantrel {

// The dialogs' texts, for every window program.
inline constexpr std::string_view SettingsCaption = "Settings";
// "&" marks each check box's Alt letter; both windows show it underlined.
inline constexpr std::string_view CheckBox1Caption = "&Do not perform clean-up on completion";
inline constexpr std::string_view CheckBox2Caption =
    "&Edit only mode (Export from dialog is not invoked)";
inline constexpr std::string_view CheckBox3Caption = "Select &folder to save icons and CG's ";
inline constexpr std::string_view CheckBox4Caption = "Disable &RAW 2 BMP conversion";
inline constexpr std::string_view CheckBox5Caption = "Select &transparency replacer color";
inline constexpr std::string_view WorkFolderCaption = "Work folder:";
inline constexpr std::string_view FolderPickerTitle = "Select a folder";
inline constexpr std::string_view AboutCaption = "About";
inline constexpr std::string_view ProductNameText = "Zantrel";
inline constexpr std::string_view VersionText = "Version 0.3.3 beta";
inline constexpr std::string_view ReadmeText = "Read " ZANTREL_README " for more.";
inline constexpr std::string_view OkCaption = "OK";
inline constexpr std::string_view CancelCaption = "Cancel";

struct SettingsDialogState {
    bool checkBox1 = false; // "Do not perform clean-up on completion"
    bool checkBox2 = false; // "Edit only mode (Export from dialog is not invoked)"
    bool checkBox3 = false; // "Select folder to save icons and CG's "
    bool checkBox4 = false; // "Disable RAW 2 BMP conversion"
    bool checkBox5 = false; // "Select transparency replacer color"
    bool checkBox5Enabled = false;
    bool shape1Enabled = false;
    // The swatch's colour: the replacer colour.
    Rgb shape1Colour;
    // The folder picker's last accepted folder (its Directory).
    std::string directory;
};

// Sets the boxes from the shared state, once, when the dialog is created.
void FormCreate(SettingsDialogState& dialog);
// The user ticked or cleared "Disable RAW 2 BMP conversion" (checkBox4 holds
// the new tick); takes effect in the shared state at once.
void CheckBox4Click(SettingsDialogState& dialog);
// The user ticked "Select transparency replacer color" and the colour picker
// gave this colour, or nullopt when it was cancelled.
void CheckBox5Click(SettingsDialogState& dialog, std::optional<Rgb> picked);
// The user ticked or cleared the folder box; picked is the folder the picker
// accepted, or nullopt when it was cancelled (the box is then cleared).
void CheckBox3Click(SettingsDialogState& dialog, std::optional<std::string> picked);
// Where the folder picker opens: the work folder in use.
const std::string& CurrentWorkFolder();
// The work folder OK keeps: the folder picked in this showing, else the
// current one; the dialog shows it under the folder box.
std::string ShownWorkFolder(const SettingsDialogState& dialog);
// The same in the label's fixed width, shortened in the middle; the whole
// path is the label's tooltip.
inline constexpr std::size_t WorkFolderLabelChars = 48;
std::string ShortWorkFolder(const SettingsDialogState& dialog);
// The dialog was closed with OK: flags into the shared state, the settings
// file rewritten, the new work tree built; as ChangeSettings. Throws IoError.
void ApplySettings(const SettingsDialogState& dialog);

// A change of the settings by name; what is not given stays as it is.
struct SettingsChange {
    std::optional<bool> cleanup;           // clean the work folder after a save
    std::optional<bool> askSecond;         // Open asks for a second (export) file
    std::optional<bool> bmp;               // raw pictures converted to and from BMP
    std::optional<Rgb> replacer;           // transparency replacer
    std::optional<std::string> workFolder; // an existing folder
    bool Empty() const { return !cleanup && !askSecond && !bmp && !replacer && !workFolder; }
};
enum class SettingsChangeResult {
    Applied,
    // The replacer colour is offered only with conversion on (the dialog
    // disables its box); nothing was changed.
    ReplacerNeedsBmp,
};
// Applies a change as the dialog's OK does: the flags and colour into the
// shared state, the settings file rewritten, the work tree built in a new
// work folder. Throws IoError.
SettingsChangeResult ChangeSettings(const SettingsChange& change);
// Why folder cannot be the work folder, or nullopt when it can.
std::optional<std::string> WorkFolderProblem(const std::string& folder);

} // namespace zantrel
