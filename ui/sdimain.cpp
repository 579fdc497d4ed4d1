#include "ui/sdimain.h"

#include <algorithm>
#include <cstring>

#include <QAction>
#include <QCloseEvent>
#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QToolBar>
#include <QUrl>

#include "shell/sdimain.h"
#include "base/state.h"
#include "base/worktree.h"
#include "shell/summary.h"
#include "shell/workview.h"
#include "imaging/decode.h"
#include "ui/about.h"
#include "ui/about1.h"
#include "ui/modal.h"

namespace zantrel {

namespace {

inline constexpr int ThumbnailSide = 96;
inline constexpr int PathRole = Qt::UserRole;
inline constexpr qsizetype MaxWatchedPaths = 2000;

// The part of a menu hint after "|", which the status bar shows.
QString LongHint(const char* hint) {
    const QString text = QString::fromUtf8(hint);
    const qsizetype bar = text.indexOf('|');
    return bar < 0 ? text : text.mid(bar + 1);
}

QAction* AddItem(QMenu* menu, const char* caption, const char* hint, QKeySequence shortcut = {}) {
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setStatusTip(LongHint(hint));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

// A picture scaled to fit the thumbnail square: small icons grow by whole
// steps so their pixels stay sharp; large pictures shrink smoothly.
QPixmap RenderThumbnail(const QImage& image) {
    QPixmap canvas(ThumbnailSide, ThumbnailSide);
    canvas.fill(QColor(0xF4, 0xF4, 0xF4));
    QPainter painter(&canvas);
    painter.setPen(QColor(0xC8, 0xC8, 0xC8));
    painter.drawRect(0, 0, ThumbnailSide - 1, ThumbnailSide - 1);
    if (!image.isNull() && image.width() > 0 && image.height() > 0) {
        const int room = ThumbnailSide - 8;
        QImage scaled;
        if (image.width() <= room / 2 && image.height() <= room / 2) {
            const int factor = std::min(room / image.width(), room / image.height());
            scaled = image.scaled(image.width() * factor, image.height() * factor,
                                  Qt::IgnoreAspectRatio, Qt::FastTransformation);
        } else if (image.width() > room || image.height() > room) {
            scaled = image.scaled(room, room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        } else {
            scaled = image;
        }
        painter.drawImage((ThumbnailSide - scaled.width()) / 2,
                          (ThumbnailSide - scaled.height()) / 2, scaled);
    }
    return canvas;
}

// Message boxes size themselves to the message and would cut a longer
// caption, or break a path over several lines: widen the box to hold both.
void WidenToFit(QMessageBox& box) {
    const QFontMetrics metrics(box.font());
    int width = metrics.horizontalAdvance(box.windowTitle()) + 160;
    for (const QString& line : box.informativeText().split('\n'))
        width = std::max(width, metrics.horizontalAdvance(line) + 90);
    width = std::min(width, 760);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
}

QListWidget* MakeThumbnailGrid(QWidget* parent) {
    auto* grid = new QListWidget(parent);
    grid->setViewMode(QListView::IconMode);
    grid->setIconSize(QSize(ThumbnailSide, ThumbnailSide));
    grid->setGridSize(QSize(ThumbnailSide + 64, ThumbnailSide + 58));
    grid->setResizeMode(QListView::Adjust);
    grid->setMovement(QListView::Static);
    grid->setWordWrap(true);
    grid->setSpacing(4);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setTextElideMode(Qt::ElideNone);
    grid->setFrameShape(QFrame::NoFrame);
    return grid;
}

// The session's facts as a two-column table; the work folder a link.
QString SessionPanelText(const SessionSummary& summary) {
    QString rows;
    for (const SessionLine& line : summary.lines) {
        const QString value = QString::fromStdString(line.value).toHtmlEscaped();
        QString cell;
        switch (line.role) {
        case SessionLine::Role::Folder:
            cell =
                QString("<a href=\"%1\">%2</a>")
                    .arg(
                        QUrl::fromLocalFile(FromLocalPath(line.value)).toString(QUrl::FullyEncoded),
                        QDir::toNativeSeparators(value));
            break;
        case SessionLine::Role::Warning:
            cell = "<span style=\"color:#C00000; font-weight:bold\">" + value + "</span>";
            break;
        case SessionLine::Role::Text:
            cell = value;
            break;
        }
        rows += "<tr><td style=\"color:#505050; padding-right:12px\">" +
                QString::fromStdString(line.label).toHtmlEscaped() + "</td><td>" + cell +
                "</td></tr>";
    }
    return "<table cellspacing=\"1\">" + rows + "</table>";
}

QImage LoadWorkImage(const WorkItem& work) {
    const QString path = FromLocalPath(work.path);
    if (path.endsWith(".raw", Qt::CaseInsensitive)) {
        const auto pixels = DecodeRawPicture(work.path, work.slotWidth, work.slotHeight);
        if (!pixels)
            return {};
        QImage image(work.slotWidth, work.slotHeight, QImage::Format_ARGB32);
        for (int y = 0; y < work.slotHeight; ++y)
            std::memcpy(image.scanLine(y),
                        pixels->data() + static_cast<std::size_t>(y) * work.slotWidth,
                        static_cast<std::size_t>(work.slotWidth) * 4);
        return image;
    }
    return QImage(path);
}

} // namespace

QStringList QtNameFilters(const std::string& filter) {
    QStringList result;
    if (filter.empty())
        return result;
    const QStringList parts = QString::fromStdString(filter).split('|');
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString patterns = i + 1 < parts.size() ? parts[i + 1] : QStringLiteral("*");
        patterns.replace(';', ' ');
        result << parts[i] + " (" + patterns.trimmed() + ")";
    }
    return result;
}

std::string ToLocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString FromLocalPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QString ApplicationTitle() {
    const QString program = QCoreApplication::applicationFilePath();
    const QString base = QFileInfo(program).completeBaseName();
    return base.isEmpty() ? QCoreApplication::applicationName() : base;
}

TSDIAppForm::TSDIAppForm(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle("Zantrel");
    setAcceptDrops(true);
    BuildMenu();
    BuildClientArea();

    ToolBar1 = addToolBar("ToolBar1");
    ToolBar1->setMovable(false);

    statusPanel_ = new QLabel(this);
    statusBar()->addWidget(statusPanel_, 1);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFixedWidth(200);
    ProgressBar1->hide();
    ProgressBar1->setEnabled(false);
    statusBar()->addPermanentWidget(ProgressBar1);
    resize(720, 520);

    InstallUi(this);
    SetErrorReporter([this](const std::string& message, const std::string& path,
                            const std::string& next) { ShowIoError(message, path, next); });
    Run([] { InitApp(); });
    // Another Zantrel in this folder: the box has said so, the run ends.
    if (closeRequested_)
        return;
    RefreshThumbnails();
}

TSDIAppForm::~TSDIAppForm() {
    if (&Ui() == this)
        InstallUi(nullptr);
    SetErrorReporter([](const std::string&, const std::string&, const std::string&) {});
}

void TSDIAppForm::BuildMenu() {
    File1 = menuBar()->addMenu("&File");
    File1->menuAction()->setStatusTip(LongHint("Operation commands"));
    FileOpenItem =
        AddItem(File1, "&Open", "Open|Open a flash file", QKeySequence(Qt::CTRL | Qt::Key_O));
    Port1 = AddItem(File1, "&Port", "Port |Port DRM", QKeySequence(Qt::CTRL | Qt::Key_P));
    FileSaveAsItem = AddItem(File1, "Save &As...", "Save As|Save DRM to file",
                             QKeySequence(Qt::CTRL | Qt::Key_S));
    FileDiscardItem = AddItem(File1, "&Discard Session...",
                              "Discard Session|Delete the pending session and its work files");
    FileOpenWorkFolderItem =
        AddItem(File1, "Open &Work Folder",
                "Open Work Folder|Show the icons and pictures to edit in the file manager");
    File1->addSeparator();
    FileExitItem = AddItem(File1, "E&xit", "Exit|Exit utility");

    View1 = menuBar()->addMenu("&View");
    View1->menuAction()->setStatusTip(LongHint("View commands"));
    ViewRefreshItem =
        AddItem(View1, "&Refresh", "Refresh|Read the work files again", QKeySequence(Qt::Key_F5));

    Settings1 = menuBar()->addAction("&Settings");
    Settings1->setStatusTip(LongHint("Settings"));

    Help1 = menuBar()->addMenu("&Help");
    Help1->menuAction()->setStatusTip(LongHint("Help topics"));
    HelpAboutItem = AddItem(Help1, "&About...",
                            "About|Displays program information, version number, and copyright");

    connect(FileOpenItem, &QAction::triggered, this, &TSDIAppForm::FileOpen1Execute);
    connect(Port1, &QAction::triggered, this, &TSDIAppForm::Port1Click);
    connect(FileDiscardItem, &QAction::triggered, this, &TSDIAppForm::FileDiscard1Execute);
    connect(FileSaveAsItem, &QAction::triggered, this, &TSDIAppForm::FileSave1Execute);
    connect(FileOpenWorkFolderItem, &QAction::triggered, this,
            &TSDIAppForm::FileOpenWorkFolder1Execute);
    connect(FileExitItem, &QAction::triggered, this, &TSDIAppForm::FileExit1Execute);
    connect(ViewRefreshItem, &QAction::triggered, this, &TSDIAppForm::ViewRefresh1Execute);
    connect(Settings1, &QAction::triggered, this, &TSDIAppForm::Settings1Click);
    connect(HelpAboutItem, &QAction::triggered, this, &TSDIAppForm::HelpAbout1Execute);
}

void TSDIAppForm::BuildClientArea() {
    clientArea_ = new QStackedWidget(this);
    HintLabel = new QLabel(this);
    HintLabel->setAlignment(Qt::AlignCenter);
    HintLabel->setWordWrap(true);
    HintLabel->setMargin(24);
    QFont hintFont = HintLabel->font();
    hintFont.setPointSizeF(hintFont.pointSizeF() * 1.25);
    HintLabel->setFont(hintFont);
    HintLabel->setText("Open a flash file to start.\n\nFile > Open, or drop a flash file here.");
    HintLabel->setStyleSheet("color: #606060;");

    SessionPanel = new QLabel(this);
    SessionPanel->setTextFormat(Qt::RichText);
    SessionPanel->setWordWrap(true);
    SessionPanel->setTextInteractionFlags(Qt::TextBrowserInteraction);
    SessionPanel->setOpenExternalLinks(false);
    SessionPanel->setMargin(8);
    SessionPanel->setStyleSheet(
        "QLabel { background: #F7F7F2; border-bottom: 1px solid #D0D0C8; }");
    connect(SessionPanel, &QLabel::linkActivated, this,
            [this](const QString& link) { OpenFolder(ToLocalPath(QUrl(link).toLocalFile())); });

    ImageTabs = new QTabWidget(this);
    ImageTabs->setDocumentMode(true);
    ImageTabs->setTabBarAutoHide(true);
    Thumbnails = MakeThumbnailGrid(ImageTabs);
    ImageTabs->addTab(Thumbnails, "Image 1");
    // Image 2's tab is there for a pair only.
    Thumbnails2 = MakeThumbnailGrid(ImageTabs);
    Thumbnails2->hide();
    for (QListWidget* grid : {Thumbnails, Thumbnails2})
        connect(grid, &QListWidget::itemActivated, this, &TSDIAppForm::OpenThumbnail);

    sessionPage_ = new QWidget(this);
    auto* layout = new QVBoxLayout(sessionPage_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(SessionPanel);
    layout->addWidget(ImageTabs, 1);

    clientArea_->addWidget(HintLabel);
    clientArea_->addWidget(sessionPage_);
    setCentralWidget(clientArea_);

    watcher_ = new QFileSystemWatcher(this);
    refreshTimer_ = new QTimer(this);
    refreshTimer_->setSingleShot(true);
    // An editor's save is several changes in a row: refresh once they settle.
    refreshTimer_->setInterval(300);
    connect(refreshTimer_, &QTimer::timeout, this, [this] {
        if (busy_)
            refreshTimer_->start();
        else
            RefreshThumbnails();
    });
    auto settle = [this] { refreshTimer_->start(); };
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, settle);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, settle);
}

void TSDIAppForm::SetDialogs(TAboutBox1* settings, TAboutBox* about) {
    settings_ = settings;
    about_ = about;
}

void TSDIAppForm::Run(const std::function<void()>& command) {
    // Commands never nest: one runs to its end before the next starts.
    if (busy_)
        return;
    busy_ = true;
    closeRequested_ = false;
    try {
        RunCommand(command);
    } catch (const std::exception& e) {
        // Nothing may cross Qt's event loop; RunCommand takes the I/O failures.
        ShowIoError(e.what());
    } catch (...) {
        ShowIoError("Unexpected failure");
    }
    busy_ = false;
    if (closeRequested_)
        close();
}

void TSDIAppForm::FileOpen1Execute() {
    Run([] { zantrel::FileOpen1Execute(); });
}

void TSDIAppForm::Port1Click() {
    Run([] { zantrel::Port1Click(); });
    RefreshThumbnails();
}

void TSDIAppForm::FileSave1Execute() {
    Run([] { zantrel::FileSave1Execute(); });
}

void TSDIAppForm::FileDiscard1Execute() {
    Run([] { zantrel::FileDiscard1Execute(); });
}

void TSDIAppForm::FileOpenWorkFolder1Execute() {
    if (!busy_)
        OpenFolder(EditFolder());
}

void TSDIAppForm::ViewRefresh1Execute() {
    if (!busy_)
        RefreshThumbnails();
}

void TSDIAppForm::OpenFolder(const std::string& path) {
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(FromLocalPath(path))))
        return;
    ShowMessage("No file manager answered. The folder is:", "Open Work Folder",
                QDir::toNativeSeparators(FromLocalPath(path)).toStdString());
}

void TSDIAppForm::FileExit1Execute() {
    Run([] { zantrel::FileExit1Execute(); });
}

void TSDIAppForm::Settings1Click() {
    Run([this] {
        if (settings_ && RunModal(*settings_) == QDialog::Accepted)
            ApplySettings(settings_->CurrentState());
    });
}

void TSDIAppForm::HelpAbout1Execute() {
    Run([this] {
        if (about_)
            RunModal(*about_);
    });
}

void TSDIAppForm::OpenDropped(const QString& path) {
    if (busy_ || !FileOpenItem->isEnabled() || path.isEmpty())
        return;
    droppedFile_ = path;
    FileOpen1Execute();
    droppedFile_.reset();
}

void TSDIAppForm::ShowIoError(const std::string& message, const std::string& path,
                              const std::string& next) {
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), QString::fromStdString(message),
                    QMessageBox::Ok, this);
    // The file the failure concerns, so the user knows which one to look at,
    // then what to do about it.
    QString details;
    if (!path.empty())
        details = QDir::toNativeSeparators(QString::fromStdString(path));
    if (!next.empty())
        details += (details.isEmpty() ? "" : "\n\n") + QString::fromStdString(next);
    if (!details.isEmpty())
        box.setInformativeText(details);
    WidenToFit(box);
    RunModal(box);
}

QString TSDIAppForm::StatusText() const { return statusPanel_->text(); }

void TSDIAppForm::SetStatusText(const std::string& text) {
    statusPanel_->setText(QString::fromStdString(text));
    // Commands run on this thread without returning to the event loop.
    statusPanel_->repaint();
}

void TSDIAppForm::ShowProgress(bool on) {
    ProgressBar1->setVisible(on);
    ProgressBar1->setEnabled(on);
    if (on)
        ProgressBar1->repaint();
}

void TSDIAppForm::SetProgress(int percent) {
    ProgressBar1->setValue(std::clamp(percent, 0, 100));
    if (ProgressBar1->isVisible())
        ProgressBar1->repaint();
}

void TSDIAppForm::ShowMessage(const std::string& text, const std::string& caption,
                              const std::string& details) {
    // An empty caption would show the program file's name instead.
    QMessageBox box(QMessageBox::NoIcon,
                    caption.empty() ? QString("Zantrel") : QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, this);
    if (!details.empty())
        box.setInformativeText(QString::fromStdString(details));
    WidenToFit(box);
    RunModal(box);
}

bool TSDIAppForm::AskConfirmation(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Cancel);
    WidenToFit(box);
    return RunModal(box) == QMessageBox::Ok;
}

std::optional<std::string> TSDIAppForm::AskOpenFile(const std::string& title,
                                                    const std::string& filter, bool clearName) {
    if (clearName)
        openFileName_.clear();
    if (droppedFile_) {
        openFileName_ = *droppedFile_;
        droppedFile_.reset();
        return ToLocalPath(openFileName_);
    }
    QFileDialog dialog(this, QString::fromStdString(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = QtNameFilters(filter);
    dialog.setNameFilters(filters);
    if (filters.contains(openFilter_))
        dialog.selectNameFilter(openFilter_);
    if (!openFolder_.isEmpty())
        dialog.setDirectory(openFolder_);
    if (!openFileName_.isEmpty())
        dialog.selectFile(openFileName_);
    if (RunModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    openFileName_ = files.first();
    openFilter_ = dialog.selectedNameFilter();
    openFolder_ = QFileInfo(openFileName_).absolutePath();
    return ToLocalPath(openFileName_);
}

std::optional<std::string> TSDIAppForm::AskSaveFile(const std::string& title,
                                                    const std::string& filter) {
    QFileDialog dialog(this, QString::fromStdString(title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(QtNameFilters(filter));
    dialog.setDefaultSuffix("shx");
    // Save As asks itself, naming every file it replaces, not only this one.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (RunModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    return WithDefaultExtension(ToLocalPath(files.first()));
}

void TSDIAppForm::CloseMainWindow() { closeRequested_ = true; }

QAction* TSDIAppForm::ActionOf(MenuItem item) const {
    switch (item) {
    case MenuItem::FileOpenItem:
        return FileOpenItem;
    case MenuItem::Port1:
        return Port1;
    case MenuItem::FileSaveAsItem:
        return FileSaveAsItem;
    case MenuItem::FileDiscardItem:
        return FileDiscardItem;
    case MenuItem::FileOpenWorkFolderItem:
        return FileOpenWorkFolderItem;
    case MenuItem::FileExitItem:
        return FileExitItem;
    case MenuItem::ViewRefreshItem:
        return ViewRefreshItem;
    case MenuItem::Settings1:
        return Settings1;
    case MenuItem::HelpAboutItem:
        return HelpAboutItem;
    }
    return nullptr;
}

void TSDIAppForm::SetMenuItemEnabled(MenuItem item, bool on) {
    if (QAction* action = ActionOf(item))
        action->setEnabled(on);
}

QListWidgetItem* TSDIAppForm::MakeThumbnail(const WorkItem& work) const {
    auto* item = new QListWidgetItem;
    const QString path = FromLocalPath(work.path);
    const WorkItemCaption caption = CaptionOf(work);
    const QString name = QString::fromStdString(caption.name);
    const QString detail = QString::fromStdString(caption.detail);
    if (caption.marked)
        item->setForeground(QColor(0xC0, 0x00, 0x00));
    const QImage image = path.isEmpty() ? QImage() : LoadWorkImage(work);
    item->setText(name + "\n" + detail);
    item->setIcon(QIcon(RenderThumbnail(image)));
    item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
    item->setData(PathRole, path);
    QString tip = path.isEmpty() ? name : path + QString("\n%1 bytes").arg(work.bytes);
    if (!caption.tip.empty())
        tip += "\n" + QString::fromStdString(caption.tip);
    item->setToolTip(tip);
    return item;
}

bool TSDIAppForm::FillThumbnails(QListWidget* grid, int image, QString& error) {
    const WorkView view = ListWorkItems(image);
    if (!view.error.empty() && view.items.empty()) {
        error = QString::fromStdString(view.error);
        return false;
    }
    const int scroll = grid->verticalScrollBar()->value();
    const int row = grid->currentRow();
    grid->setUpdatesEnabled(false);
    grid->clear();
    for (const WorkItem& work : view.items)
        grid->addItem(MakeThumbnail(work));
    if (row >= 0 && row < grid->count())
        grid->setCurrentRow(row);
    grid->setUpdatesEnabled(true);
    grid->verticalScrollBar()->setValue(scroll);
    return true;
}

void TSDIAppForm::RefreshThumbnails() {
    if (State().freshSession) {
        clientArea_->setCurrentWidget(HintLabel);
        return;
    }
    const SessionSummary summary = DescribeSession();
    SessionPanel->setText(SessionPanelText(summary));
    QString error;
    if (!FillThumbnails(Thumbnails, 1, error)) {
        HintLabel->setText(QString::fromStdString(NoDrmToShowText(error.toStdString())));
        clientArea_->setCurrentWidget(HintLabel);
        WatchWorkFiles();
        return;
    }
    const int tab = ImageTabs->currentIndex();
    ImageTabs->setTabText(0, QString::fromStdString(ImageTitle(1)));
    if (summary.pair) {
        QString ignored;
        FillThumbnails(Thumbnails2, 2, ignored);
        const QString second = QString::fromStdString(ImageTitle(2));
        if (ImageTabs->indexOf(Thumbnails2) < 0)
            ImageTabs->addTab(Thumbnails2, second);
        ImageTabs->setTabText(1, second);
        if (tab >= 0)
            ImageTabs->setCurrentIndex(tab);
    } else if (ImageTabs->indexOf(Thumbnails2) >= 0) {
        ImageTabs->removeTab(ImageTabs->indexOf(Thumbnails2));
    }
    clientArea_->setCurrentWidget(sessionPage_);
    WatchWorkFiles();
}

void TSDIAppForm::WatchWorkFiles() {
    // Folders tell of files added, removed or renamed into place; the files
    // themselves of edits written in place.
    QStringList paths;
    const SharedState& s = State();
    for (const std::string& folder :
         {s.icons1Dir, JoinPath(s.drmpack1Dir, RawsFolderName), s.drmpack1Dir, s.icons2Dir,
          JoinPath(s.drmpack2Dir, RawsFolderName)})
        if (QFileInfo(FromLocalPath(folder)).isDir())
            paths << FromLocalPath(folder);
    // Each file is a watch of the system's, whose number per user is limited:
    // past the cap, a change written in place shows at F5 or when the window
    // is activated again.
    for (QListWidget* grid : {Thumbnails, Thumbnails2})
        for (int i = 0; i < grid->count() && paths.size() < MaxWatchedPaths; ++i) {
            const QString path = grid->item(i)->data(PathRole).toString();
            if (!path.isEmpty())
                paths << path;
        }
    const QStringList watched = watcher_->files() + watcher_->directories();
    if (!watched.isEmpty())
        watcher_->removePaths(watched);
    if (!paths.isEmpty())
        watcher_->addPaths(paths);
}

void TSDIAppForm::OpenThumbnail(QListWidgetItem* item) {
    const QString path = item ? item->data(PathRole).toString() : QString();
    if (path.isEmpty())
        return;
    // Where no program is set up for the file's kind, its folder at least.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        OpenFolder(ToLocalPath(QFileInfo(path).absolutePath()));
}

void TSDIAppForm::closeEvent(QCloseEvent* event) {
    // The title-bar button in a second run is Exit: the box, and the session
    // kept for the next run. A command that closes the window has done its part.
    if (!closeRequested_ && !busy_ && !State().freshSession) {
        busy_ = true;
        RunCommand([] { return zantrel::FileExit1Execute(); });
        busy_ = false;
        // Closed even after a failure: the session file is still there from the start.
        QMainWindow::closeEvent(event);
        return;
    }
    if (busy_) {
        event->ignore(); // a running command ends first
        return;
    }
    QMainWindow::closeEvent(event);
}

bool TSDIAppForm::event(QEvent* event) {
    // Files edited in other programs show up when the user comes back.
    if (event->type() == QEvent::WindowActivate && !busy_ && !State().freshSession)
        RefreshThumbnails();
    return QMainWindow::event(event);
}

void TSDIAppForm::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!busy_ && FileOpenItem->isEnabled() && urls.size() == 1 && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void TSDIAppForm::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    // Open shows dialogs; they run after the drop has finished, not inside it.
    const QString path = urls.first().toLocalFile();
    QTimer::singleShot(0, this, [this, path] { OpenDropped(path); });
}

std::unique_ptr<TSDIAppForm> CreateAppWindows() {
    auto form = std::make_unique<TSDIAppForm>();
    auto* settings = new TAboutBox1(form.get());
    auto* about = new TAboutBox(form.get());
    form->SetDialogs(settings, about);
    return form;
}

} // namespace zantrel
