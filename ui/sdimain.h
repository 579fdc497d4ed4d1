// TSDIAppForm: the Qt main window. It draws the main window's model (menu,
// panel, thumbnails), carries out the user-interface operations, and hands
// the person's actions to the model.
#pragma once

#include <QMainWindow>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>

#include "shell/mainwindow.h"

class QAction;
class QFileSystemWatcher;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QProgressBar;
class QStackedWidget;
class QTabWidget;
class QTimer;
class QToolBar;

namespace zantrel {

class TAboutBox1;
class TAboutBox;

// "SHX files|*.shx|SBF files|*.sbf" as Qt's name filters
// ("SHX files (*.shx)", "SBF files (*.sbf)").
QStringList QtNameFilters(const std::string& filter);

// The shell's UTF-8 texts as Qt's strings.
QString QtText(std::string_view text);

// Paths between the logic's byte strings and Qt's strings, in the file
// system's own encoding.
std::string ToLocalPath(const QString& path);
QString FromLocalPath(const std::string& path);

class TSDIAppForm : public QMainWindow, public MainWindowToolkit {
    Q_OBJECT

public:
    // Builds the window and runs the model's start-up.
    explicit TSDIAppForm(QWidget* parent = nullptr);
    ~TSDIAppForm() override;

    void SetDialogs(TAboutBox1* settings, TAboutBox* about);
    TAboutBox1* SettingsDialog() const { return settings_; }
    TAboutBox* AboutBox() const { return about_; }

    // The menu's action of item.
    QAction* Action(MenuItem item) const { return actions_.at(item); }
    // Chooses a menu item as the person would.
    void Choose(MenuItem item) { model_.Choose(item); }
    // Chooses an item of a thumbnail's own menu: row of image's grid.
    void ChooseForThumbnail(MenuItem item, int image, int row);
    // The thumbnail menu's actions as it would show them for that row.
    QMenu* ThumbnailMenu(int image, int row);

    // A flash file dropped on the window (beside the thumbnails) or given on
    // the command line.
    void OpenDropped(const QString& path) { model_.DropBeside(ToLocalPath(path)); }
    // A file dropped on row of image's grid (a picture replaces the item).
    void DropOnRow(const QString& path, int image, int row);
    // Image 2's current thumbnail (with the selection it is in) dropped on
    // row of image 1's grid.
    void DropThumbnailsOnRow(int row);

    // The view read again and drawn.
    void RefreshThumbnails() { model_.Refresh(); }
    // The square of image's thumbnail at index, decoded when first shown.
    QPixmap ThumbnailSquare(int image, int index);
    // How many thumbnails have been decoded since the window was made.
    int DecodedThumbnails() const { return decoded_; }
    // Whether items are shown listed but not yet checked.
    bool Checking() const { return model_.Checking(); }

    QString StatusText() const;
    bool CloseRequested() const { return model_.CloseRequested(); }

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

    QToolBar* ToolBar1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* HintLabel = nullptr;
    // The second run: the session's facts above image 1's (and, for a pair,
    // image 2's) thumbnails.
    QLabel* SessionPanel = nullptr;
    QTabWidget* ImageTabs = nullptr;
    QListWidget* Thumbnails = nullptr;
    QListWidget* Thumbnails2 = nullptr;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The grids' wheel: one notch, one row.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenu();
    void BuildClientArea();
    void FillThumbnails(QListWidget* grid, const ImageView& image);
    void WatchWorkFiles();
    // The thumbnail menu at point of grid, for the item the gesture began on.
    void ShowThumbnailMenu(QListWidget* grid, QPoint at);
    int ImageOf(const QListWidget* grid) const { return grid == Thumbnails ? 1 : 2; }
    // The item under a gesture, then the rest of the selection it is in.
    std::vector<ItemRef> ItemsUnder(QListWidget* grid, QListWidgetItem* under) const;
    // The thumbnail a drag is over, highlighted; none when row is -1.
    void HighlightDropTarget(QListWidget* grid, int row);

    // MainWindowToolkit
    void Draw() override;
    void Close() override { close(); }
    bool OpenInShell(const std::string& path) override;
    void ShowError(const std::string& message, const std::string& details) override;
    std::optional<SettingsDialogState> RunSettingsDialog() override;
    void RunAboutBox() override;
    void ShowHelpPage(const std::string& caption, const std::string& text) override;

    std::map<MenuItem, QAction*> actions_;
    TAboutBox1* settings_ = nullptr;
    TAboutBox* about_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    QStackedWidget* clientArea_ = nullptr;
    QWidget* sessionPage_ = nullptr;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
    // Each image's decoded squares, in the places its slots give out.
    struct Squares {
        ThumbnailSlots places{ThumbnailSide};
        std::vector<QPixmap> pixmaps;
    };
    Squares squares_[2];
    int decoded_ = 0;
    int wheelPending_ = 0;
    QListWidget* dropGrid_ = nullptr;
    int dropRow_ = -1;
    MainWindowModel model_{*this};
};

// Creates the windows as the program does at start: the main window (which
// runs the start-up), then the settings dialog and the About box.
std::unique_ptr<TSDIAppForm> CreateAppWindows();

} // namespace zantrel
