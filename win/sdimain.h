// TSDIAppForm: the main window of the Windows window program. It draws the
// main window the shell describes (menu, panel, thumbnails), carries out the
// user-interface operations, and passes the person's actions back.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/mainwindow.h"

#include "win/modal.h"
#include "win/thumbs.h"

namespace zantrel {

class FileDropTarget;

class TAboutBox1;
class TAboutBox;

class TSDIAppForm : public MainWindowToolkit {
public:
    // Builds the window (hidden) and runs the model's start-up.
    TSDIAppForm();
    ~TSDIAppForm() override;
    TSDIAppForm(const TSDIAppForm&) = delete;
    TSDIAppForm& operator=(const TSDIAppForm&) = delete;

    HWND Handle() const { return window_; }
    // False once the window has closed: the run is over.
    bool IsOpen() const { return window_ != nullptr; }
    // The menu's shortcuts, for the message loop.
    HACCEL Shortcuts() const { return shortcuts_; }
    // The window's rectangle when last neither maximised nor minimised, and
    // whether it was last maximised; kept after it closes, for the next run.
    RECT NormalRect() const { return normalRect_; }
    bool Maximised() const { return maximised_; }
    // A key pressed in the window, before its control sees it: Tab between
    // the controls, Ctrl+(Shift+)Tab between the images, Enter opens the
    // focused thumbnail. True when taken.
    bool HandleKey(UINT key, bool control, bool shift);

    void SetDialogs(std::unique_ptr<TAboutBox1> settings, std::unique_ptr<TAboutBox> about);
    TAboutBox1* SettingsDialog() const { return settings_.get(); }
    TAboutBox* AboutBox() const { return about_.get(); }

    // Chooses a menu item as the person would.
    void Choose(MenuItem item) { model_.Choose(item); }
    // Chooses an item of a thumbnail's own menu for the shown image's
    // thumbnail at index.
    void ChooseForThumbnail(MenuItem item, int index);
    // A flash file dropped on the window (beside the thumbnails) or given on
    // the command line: TakeOutsideFile.
    void OpenDropped(const std::wstring& path);
    // A file dropped on the shown image's thumbnail at index (a picture
    // replaces the item).
    void DropOnThumbnailAt(const std::wstring& path, int index);
    // A dragged file over point (screen coordinates): the thumbnail there
    // highlighted when it takes the file.
    void DragFileOver(POINT screen);

    // The view read again and drawn.
    void RefreshView() { model_.Refresh(); }
    // The mouse wheel over the thumbnails: one notch, one row.
    void WheelOverThumbnails(int delta);
    // Shows image 1's or image 2's thumbnails (image 2 only for a pair).
    void ShowImage(int image);
    int ShownImage() const { return model_.ShownImage(); }

    std::wstring StatusText() const { return statusText_; }
    // The hint the status bar shows while the menu is open; empty when closed.
    std::wstring MenuHint() const { return menuHint_; }
    // How many thumbnails have been decoded since the window was made.
    int DecodedThumbnails() const { return decoded_; }
    // Whether items are shown listed but not yet checked.
    bool Checking() const { return model_.Checking(); }
    // Each thumbnail's text ("name\ndetail") and whether it is marked in red.
    std::vector<std::pair<std::wstring, bool>> ThumbnailTexts() const;

    // UiSink
    void SetStatusText(const std::string& text) override;
    void ShowProgress(bool on) override;
    void SetProgress(int percent) override;
    void ShowMessage(const std::string& text, const std::string& caption,
                     const std::string& details) override;
    std::optional<std::string> AskOpenFile(const std::string& title, const std::string& filter,
                                           bool clearName) override;
    std::optional<std::string> AskSaveFile(const std::string& title, const std::string& filter,
                                           const std::string& suggested) override;
    std::optional<std::string> AskFolder(const std::string& title) override;
    void CloseMainWindow() override { model_.RequestClose(); }
    bool AskConfirmation(const std::string& text, const std::string& caption,
                         DefaultAnswer answer) override;
    bool AskPictureQuestion(PictureQuestion& question) override;

    HMENU Menu = nullptr;
    HWND StatusBar1 = nullptr;
    HWND ProgressBar1 = nullptr;
    HWND HintLabel = nullptr;
    HWND Tabs = nullptr;
    HWND Thumbnails = nullptr;
    // Where a panel line went: the label and value controls and the line.
    struct PanelLine {
        HWND label = nullptr;
        HWND value = nullptr;
        SessionLine line;
    };
    const std::vector<PanelLine>& Panel() const { return panel_; }

    // The main window class's procedure.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(NMHDR* header);
    void OnMenuSelect(UINT id, UINT flags, HMENU menu);
    void OnTimer();
    // The model asked again when it said to (RefreshDue).
    void AskRefresh();
    // The shown thumbnail's row at point (screen coordinates); -1 for none.
    int ThumbnailRowAt(POINT screen) const;
    void HighlightDropTarget(int row);
    // A file dropped at point: Open's answer, or the thumbnail's there.
    void TakeDroppedFile(const std::wstring& path, POINT screen);
    // The thumbnail menu at screen point (x, y); -1, -1 from the keyboard.
    void OnContextMenu(int x, int y);
    void BuildMenu();
    void CreateControls();
    void UpdateFonts();
    void Layout();
    void BuildPanel();
    void FillThumbnails();
    // The image list's place of the shown thumbnail at index, decoded into
    // it when it first comes into view; -1 when none can be drawn.
    int ThumbnailImage(int index);
    // Moves and sizes the thumbnails' list (client coordinates of the window).
    void MoveThumbnails(int x, int y, int width, int height);
    void OpenThumbnail(int index);
    // The shown image's item at row, then the rest of the selection it is in.
    std::vector<ItemRef> ItemsUnder(int row) const;
    // A drag of image 2's thumbnails at a point of the window: the tab under
    // it shown, image 1's thumbnail that takes them highlighted.
    void DragOver(POINT at);
    // The drag over: dropped on the highlighted thumbnail, or cancelled.
    void EndDrag(bool drop);
    void WatchWorkFolders();
    // The settings dialog and the About box, run modally as the dialogs the
    // window made at start.
    int RunDialog(ModalKind kind, HWND dialog, std::string_view title);

    // MainWindowToolkit
    void Draw() override;
    void Close() override;
    bool OpenInShell(const std::string& path) override;
    void ShowError(const std::string& message, const std::string& details) override;
    std::optional<SettingsDialogState> RunSettingsDialog() override;
    void RunAboutBox() override;
    void ShowHelpPage(const std::string& caption, const std::string& text) override;
    int Scaled(int pixels) const { return MulDiv(pixels, dpi_, 96); }

    HWND window_ = nullptr;
    HACCEL shortcuts_ = nullptr;
    RECT normalRect_{};
    bool maximised_ = false;
    std::unique_ptr<TAboutBox1> settings_;
    std::unique_ptr<TAboutBox> about_;
    int dpi_ = 96;
    HFONT font_ = nullptr;
    HFONT boldFont_ = nullptr;
    HFONT hintFont_ = nullptr;
    HIMAGELIST images_ = nullptr;
    std::optional<ThumbnailSquares> squares_;
    std::optional<SquareCanvas> canvas_;
    int decoded_ = 0;
    int wheelPending_ = 0;
    std::vector<PanelLine> panel_;
    std::wstring statusText_;
    std::wstring menuHint_;
    FileDropTarget* dropTarget_ = nullptr;
    // A drop, handled once the drop itself has finished: the file, and the
    // thumbnail under it as the drop took it (none: beside the thumbnails).
    std::wstring pendingDrop_;
    bool pendingOnItem_ = false;
    std::optional<ItemRef> pendingItem_;
    // Image 2's thumbnails being dragged; the row highlighted under a drag.
    std::vector<ItemRef> dragged_;
    int dropRow_ = -1;
    HCURSOR copyCursor_ = nullptr;
    // Changes in the watched folders, seen by the timer.
    std::vector<HANDLE> watches_;
    MainWindowModel model_{*this};
};

// A menu item's command identifier.
constexpr int CommandId(MenuItem item) { return 1001 + static_cast<int>(item); }

// Registers the window classes and the common controls, and starts COM on
// this thread; the main window's constructor calls it.
void InitWindowProgram();

// Creates the windows as the program does at start: the main window (which
// runs the start-up), then the settings dialog and the About box.
std::unique_ptr<TSDIAppForm> CreateAppWindows();

// Runs the program's message loop until the main window has closed.
int RunMessageLoop(TSDIAppForm& form);

} // namespace zantrel
