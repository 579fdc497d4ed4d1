// TSDIAppForm: the main window. It carries out the user-interface operations
// for the logic, runs each menu command through RunCommand, and between the
// two runs shows image 1's pictures and icons as thumbnails.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include "base/uiops.h"

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
struct WorkItem;

// "SHX files|*.shx|SBF files|*.sbf" as Qt's name filters
// ("SHX files (*.shx)", "SBF files (*.sbf)").
QStringList QtNameFilters(const std::string& filter);

// Paths between the logic's byte strings and Qt's strings, in the file
// system's own encoding.
std::string ToLocalPath(const QString& path);
QString FromLocalPath(const std::string& path);

// The application's title for error boxes: the program file's name without
// its extension.
QString ApplicationTitle();

class TSDIAppForm : public QMainWindow, public UiSink {
    Q_OBJECT

public:
    // Builds the window, installs it as the user-interface sink and the error
    // reporter, and runs the start-up sequence.
    explicit TSDIAppForm(QWidget* parent = nullptr);
    ~TSDIAppForm() override;

    void SetDialogs(TAboutBox1* settings, TAboutBox* about);
    TAboutBox1* SettingsDialog() const { return settings_; }
    TAboutBox* AboutBox() const { return about_; }

    // Menu commands.
    void FileOpen1Execute();
    void Port1Click();
    void FileSave1Execute();
    void FileDiscard1Execute();
    void FileOpenWorkFolder1Execute();
    void FileExit1Execute();
    void ViewRefresh1Execute();
    void Settings1Click();
    void HelpAbout1Execute();

    // A flash file dropped on the window: in a fresh run, Open with it as the
    // first dialog's answer.
    void OpenDropped(const QString& path);

    // Shows an I/O failure that ended a command: a stop icon, one OK button,
    // the application's title as caption.
    // The failure, the file or folder it concerns, and what to do next.
    void ShowIoError(const std::string& message, const std::string& path = {},
                     const std::string& next = {});

    // Rereads the session's facts and work files into the panel and the
    // thumbnails (second run only), and watches the files shown.
    void RefreshThumbnails();

    // Opens a folder in the file manager; says where it is when none answers.
    void OpenFolder(const std::string& path);

    QString StatusText() const;
    bool CloseRequested() const { return closeRequested_; }

    // UiSink
    void SetStatusText(const std::string& text) override;
    void ShowProgress(bool on) override;
    void SetProgress(int percent) override;
    void ShowMessage(const std::string& text, const std::string& caption,
                     const std::string& details) override;
    std::optional<std::string> AskOpenFile(const std::string& title, const std::string& filter,
                                           bool clearName) override;
    std::optional<std::string> AskSaveFile(const std::string& title,
                                           const std::string& filter) override;
    void CloseMainWindow() override;
    void SetMenuItemEnabled(MenuItem item, bool on) override;
    bool AskConfirmation(const std::string& text, const std::string& caption) override;

    QMenu* File1 = nullptr;
    QAction* FileOpenItem = nullptr;
    QAction* Port1 = nullptr;
    QAction* FileSaveAsItem = nullptr;
    QAction* FileDiscardItem = nullptr;
    QAction* FileOpenWorkFolderItem = nullptr;
    QAction* FileExitItem = nullptr;
    QMenu* View1 = nullptr;
    QAction* ViewRefreshItem = nullptr;
    QAction* Settings1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* HelpAboutItem = nullptr;
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
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenu();
    void BuildClientArea();
    // Runs a command; an I/O failure is shown by the error box, and a close
    // asked for during the command happens once it has returned.
    void Run(const std::function<void()>& command);
    QAction* ActionOf(MenuItem item) const;
    QListWidgetItem* MakeThumbnail(const WorkItem& work) const;
    // Fills a grid from one image's work files; false when its DRM cannot be
    // listed (the reason in error).
    bool FillThumbnails(QListWidget* grid, int image, QString& error);
    void OpenThumbnail(QListWidgetItem* item);
    void WatchWorkFiles();

    TAboutBox1* settings_ = nullptr;
    TAboutBox* about_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    QStackedWidget* clientArea_ = nullptr;
    QWidget* sessionPage_ = nullptr;
    // Outside edits refresh the view once they settle.
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
    bool closeRequested_ = false;
    bool busy_ = false;
    // The open dialog's memory within the run.
    QString openFileName_;
    QString openFilter_;
    QString openFolder_;
    std::optional<QString> droppedFile_;
};

// Creates the windows as the program does at start: the main window (which
// runs the start-up), then the settings dialog and the About box.
std::unique_ptr<TSDIAppForm> CreateAppWindows();

} // namespace zantrel
