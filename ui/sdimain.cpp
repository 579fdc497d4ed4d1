#include "ui/sdimain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QIconEngine>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "base/paths.h"

#include "ui/about.h"
#include "ui/about1.h"
#include "ui/modal.h"

namespace zantrel {

namespace {

QString Text(std::string_view text) { return QtText(text); }

// The thumbnail square the shell draws.
QPixmap PixmapOf(const std::vector<std::uint32_t>& pixels, int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), pixels.data() + static_cast<std::size_t>(y) * width,
                    static_cast<std::size_t>(width) * 4);
    return QPixmap::fromImage(image);
}

// A thumbnail's icon that decodes its picture only when painted: laying out
// 2,999 items asks every icon its size, but only those in view are drawn.
class ThumbnailEngine : public QIconEngine {
public:
    ThumbnailEngine(TSDIAppForm* form, int image, int index)
        : form_(form), image_(image), index_(index) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }
    QPixmap pixmap(const QSize&, QIcon::Mode mode, QIcon::State) override {
        const QPixmap square = form_->ThumbnailSquare(image_, index_);
        if (mode == QIcon::Normal)
            return square;
        QStyleOption option;
        option.palette = QApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, square, &option);
    }
    QSize actualSize(const QSize&, QIcon::Mode, QIcon::State) override {
        return {ThumbnailSide, ThumbnailSide};
    }
    QIconEngine* clone() const override { return new ThumbnailEngine(form_, image_, index_); }

private:
    TSDIAppForm* form_;
    int image_;
    int index_;
};

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

// Messages name files and quote them: never taken for rich text (a name
// with "<a href=...>" in it would be a link).
void ShowAsPlainText(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
    for (QLabel* label : box.findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
}

int RunBox(QWidget* parent, QMessageBox::Icon icon, const std::string& caption,
           const std::string& text, const QString& details,
           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
           DefaultAnswer answer = DefaultAnswer::Ok) {
    QMessageBox box(icon, Text(caption), Text(text), buttons, parent);
    if (buttons & QMessageBox::Cancel)
        box.setDefaultButton(answer == DefaultAnswer::Ok ? QMessageBox::Ok : QMessageBox::Cancel);
    if (!details.isEmpty())
        box.setInformativeText(details);
    ShowAsPlainText(box);
    WidenToFit(box);
    return RunModal(box);
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
    grid->setUniformItemSizes(true);
    grid->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    grid->setTextElideMode(Qt::ElideNone);
    grid->setFrameShape(QFrame::NoFrame);
    return grid;
}

// The session's facts as a two-column table; the work folder a link.
QString SessionPanelText(const SessionSummary& summary) {
    QString rows;
    for (const SessionLine& line : summary.lines) {
        const QString value = Text(ShownValue(line)).toHtmlEscaped();
        QString cell = value;
        if (line.role == SessionLine::Role::Folder)
            cell =
                QString("<a href=\"%1\">%2</a>")
                    .arg(
                        QUrl::fromLocalFile(FromLocalPath(line.value)).toString(QUrl::FullyEncoded),
                        QDir::toNativeSeparators(value));
        else if (line.role == SessionLine::Role::Warning)
            cell = "<span style=\"color:#C00000; font-weight:bold\">" + value + "</span>";
        rows += "<tr><td style=\"color:#505050; padding-right:12px\">" +
                Text(line.label).toHtmlEscaped() + "</td><td>" + cell + "</td></tr>";
    }
    return "<table cellspacing=\"1\">" + rows + "</table>";
}

} // namespace

QStringList QtNameFilters(const std::string& filter) {
    QStringList result;
    // Qt's "*.*" leaves out names without a dot, which a raw image may have.
    for (const auto& [name, patterns] : FilterEntries(filter))
        result << Text(name) + " (" +
                      (patterns == "*.*" ? QString("*")
                                         : Text(patterns).replace(';', ' ').trimmed()) +
                      ")";
    return result;
}

QString QtText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString FromLocalPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

TSDIAppForm::TSDIAppForm(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(Text(MainCaption));
    setAcceptDrops(true);
    setMinimumSize(MinimumWindowWidth, MinimumWindowHeight);
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
    model_.Start();
    // The items listed first are checked once the window has painted.
    if (model_.Checking())
        refreshTimer_->start(0);
}

TSDIAppForm::~TSDIAppForm() = default;

void TSDIAppForm::BuildMenu() {
    auto add = [this](auto* where, const MenuEntry& entry) {
        QAction* action = where->addAction(Text(entry.caption));
        action->setStatusTip(Text(LongHint(entry.hint)));
        QList<QKeySequence> keys;
        for (Shortcut shortcut : {entry.shortcut, entry.alternate})
            if (shortcut != Shortcut::None)
                keys.push_back(QKeySequence(Text(ShortcutText(shortcut))));
        action->setShortcuts(keys);
        action->setCheckable(ActionOf(entry.item) == MenuAction::OnlyDiffering);
        connect(action, &QAction::triggered, this, [this, item = entry.item] { Choose(item); });
        actions_[entry.item] = action;
    };
    for (const MenuGroup& group : MainMenu()) {
        if (group.item) {
            add(menuBar(), {*group.item, group.caption, group.hint});
            continue;
        }
        QMenu* menu = menuBar()->addMenu(Text(group.caption));
        menu->menuAction()->setStatusTip(Text(LongHint(group.hint)));
        for (const MenuEntry& entry : group.entries) {
            if (entry.separatorBefore)
                menu->addSeparator();
            add(menu, entry);
        }
    }
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
    HintLabel->setText(Text(FreshRunHint));
    HintLabel->setStyleSheet("color: #606060;");

    SessionPanel = new QLabel(this);
    SessionPanel->setTextFormat(Qt::RichText);
    SessionPanel->setWordWrap(true);
    SessionPanel->setTextInteractionFlags(Qt::TextBrowserInteraction);
    SessionPanel->setOpenExternalLinks(false);
    SessionPanel->setMargin(8);
    SessionPanel->setStyleSheet(
        "QLabel { background: #F7F7F2; border-bottom: 1px solid #D0D0C8; }");
    connect(SessionPanel, &QLabel::linkActivated, this, [this](const QString& link) {
        model_.FollowLink(ToLocalPath(QUrl(link).toLocalFile()));
    });

    ImageTabs = new QTabWidget(this);
    ImageTabs->setDocumentMode(true);
    ImageTabs->setTabBarAutoHide(true);
    Thumbnails = MakeThumbnailGrid(ImageTabs);
    ImageTabs->addTab(Thumbnails, "Image 1");
    // Image 2's tab is there for a pair only.
    Thumbnails2 = MakeThumbnailGrid(ImageTabs);
    // Several of image 2's items can be taken at once, and one dragged onto
    // image 1's (a copy; the tab under the drag comes to the front).
    Thumbnails2->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Thumbnails2->setDragDropMode(QAbstractItemView::DragOnly);
    Thumbnails2->setDefaultDropAction(Qt::CopyAction);
    ImageTabs->tabBar()->setChangeCurrentOnDrag(true);
    ImageTabs->tabBar()->setAcceptDrops(true);
    Thumbnails2->hide();
    for (QListWidget* grid : {Thumbnails, Thumbnails2}) {
        connect(grid, &QListWidget::itemActivated, this, [this, grid](QListWidgetItem* item) {
            if (auto ref = model_.ItemAt(ImageOf(grid), grid->row(item)))
                model_.ActivateItem(*ref);
        });
        grid->viewport()->installEventFilter(this);
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(grid, &QListWidget::customContextMenuRequested, this,
                [this, grid](QPoint at) { ShowThumbnailMenu(grid, at); });
    }
    connect(ImageTabs, &QTabWidget::currentChanged, this,
            [this](int index) { model_.ShowImage(index + 1); });

    // Ctrl+Tab and Ctrl+Shift+Tab go between the images wherever the focus is.
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Tab),
                                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (ImageTabs->count() > 1)
                ImageTabs->setCurrentIndex(1 - ImageTabs->currentIndex());
        });
    }

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
    connect(refreshTimer_, &QTimer::timeout, this, [this] {
        if (const int wait = model_.RefreshDue(QDateTime::currentMSecsSinceEpoch()); wait >= 0)
            refreshTimer_->start(wait);
    });
    auto settle = [this] {
        model_.FilesChanged(QDateTime::currentMSecsSinceEpoch());
        refreshTimer_->start(SettleMilliseconds);
    };
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, settle);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, settle);
}

void TSDIAppForm::SetDialogs(TAboutBox1* settings, TAboutBox* about) {
    settings_ = settings;
    about_ = about;
}

std::optional<SettingsDialogState> TSDIAppForm::RunSettingsDialog() {
    if (settings_ && RunModal(*settings_) == QDialog::Accepted)
        return settings_->CurrentState();
    return std::nullopt;
}

void TSDIAppForm::RunAboutBox() {
    if (about_)
        RunModal(*about_);
}

void TSDIAppForm::ShowHelpPage(const std::string& caption, const std::string& text) {
    QDialog page(this);
    page.setObjectName("help");
    page.setWindowTitle(Text(caption));
    auto* view = new QPlainTextEdit(Text(text), &page);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &page);
    connect(buttons, &QDialogButtonBox::accepted, &page, &QDialog::accept);
    auto* layout = new QVBoxLayout(&page);
    layout->addWidget(view, 1);
    layout->addWidget(buttons);
    page.resize(620, 520);
    RunModal(page);
}

QMenu* TSDIAppForm::ThumbnailMenu(int image, int row) {
    auto* menu = new QMenu(this);
    const auto item = model_.ItemAt(image, row);
    for (const MenuEntry& entry : MainWindowModel::ItemMenuOf(image)) {
        QAction* action = menu->addAction(Text(model_.Caption(entry.item)));
        action->setStatusTip(Text(LongHint(entry.hint)));
        action->setData(static_cast<int>(entry.item));
        action->setEnabled(item && model_.ItemMenuEnabled(*item));
    }
    return menu;
}

void TSDIAppForm::ShowThumbnailMenu(QListWidget* grid, QPoint at) {
    QListWidgetItem* under = grid->itemAt(at);
    // From the keyboard (the menu key, Shift+F10): the current thumbnail.
    if (!under && (under = grid->currentItem()))
        at = grid->visualItemRect(under).center();
    // The items are taken now: a refresh while the menu is open rebuilds the grid.
    const std::vector<ItemRef> items = ItemsUnder(grid, under);
    if (items.empty())
        return;
    std::unique_ptr<QMenu> menu(ThumbnailMenu(items.front().image, grid->row(under)));
    if (QAction* chosen = menu->exec(grid->viewport()->mapToGlobal(at)))
        model_.ChooseOnItems(static_cast<MenuItem>(chosen->data().toInt()), items);
}

std::vector<ItemRef> TSDIAppForm::ItemsUnder(QListWidget* grid, QListWidgetItem* under) const {
    std::vector<ItemRef> items;
    if (auto item = under ? model_.ItemAt(ImageOf(grid), grid->row(under)) : std::nullopt)
        items.push_back(*item);
    // A selection of several under the pointer is taken whole.
    if (!items.empty() && under->isSelected())
        for (QListWidgetItem* selected : grid->selectedItems())
            if (selected != under)
                if (auto ref = model_.ItemAt(ImageOf(grid), grid->row(selected)))
                    items.push_back(*ref);
    return items;
}

void TSDIAppForm::ChooseForThumbnail(MenuItem item, int image, int row) {
    if (auto ref = model_.ItemAt(image, row))
        model_.ChooseOnItem(item, *ref);
}

bool TSDIAppForm::OpenInShell(const std::string& path) {
    // xdg-open's exit status says whether a program took the file (the
    // desktop services report success either way). Still running after three
    // seconds, it has found one: it is left to finish, and goes then.
    auto* opener = new QProcess;
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(opener, &QProcess::finished, opener, &QObject::deleteLater);
    opener->start("xdg-open", {FromLocalPath(path)});
    if (!opener->waitForStarted()) {
        delete opener;
        return false;
    }
    if (!opener->waitForFinished(3000))
        return true;
    return opener->exitStatus() == QProcess::NormalExit && opener->exitCode() == 0;
}

void TSDIAppForm::ShowError(const std::string& message, const std::string& details) {
    QMessageBox box(QMessageBox::Critical, Text(MainCaption), Text(message), QMessageBox::Ok, this);
    if (!details.empty())
        box.setInformativeText(Text(details));
    ShowAsPlainText(box);
    WidenToFit(box);
    RunModal(box);
}

QString TSDIAppForm::StatusText() const { return statusPanel_->text(); }

void TSDIAppForm::SetStatusText(const std::string& text) {
    statusPanel_->setText(Text(text));
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
    RunBox(this, QMessageBox::NoIcon, caption.empty() ? std::string(MainCaption) : caption, text,
           Text(details));
}

bool TSDIAppForm::AskPictureQuestion(PictureQuestion& question) {
    QMessageBox box(QMessageBox::Question, Text(question.caption), Text(question.text),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setDefaultButton(question.answer == DefaultAnswer::Ok ? QMessageBox::Ok
                                                              : QMessageBox::Cancel);
    const QPixmap fitted = PixmapOf(question.pixels, question.width, question.height);
    const QPixmap ownSize = question.checkedPixels.empty()
                                ? fitted
                                : PixmapOf(question.checkedPixels, question.width, question.height);
    box.setIconPixmap(question.checked ? ownSize : fitted);
    if (!question.checkBox.empty()) {
        box.setCheckBox(new QCheckBox(Text(question.checkBox), &box));
        box.checkBox()->setChecked(question.checked);
        // The preview shows what the box's state would write.
        connect(box.checkBox(), &QCheckBox::toggled, &box,
                [&](bool on) { box.setIconPixmap(on ? ownSize : fitted); });
    }
    ShowAsPlainText(box);
    const bool ok = RunModal(box) == QMessageBox::Ok;
    if (box.checkBox())
        question.checked = box.checkBox()->isChecked();
    return ok;
}

bool TSDIAppForm::AskConfirmation(const std::string& text, const std::string& caption,
                                  DefaultAnswer answer) {
    return RunBox(this, QMessageBox::Question, caption, text, {},
                  QMessageBox::Ok | QMessageBox::Cancel, answer) == QMessageBox::Ok;
}

std::optional<std::string> TSDIAppForm::AskOpenFile(const std::string& title,
                                                    const std::string& filter, bool clearName) {
    OpenDialogMemory& memory = model_.OpenDialog();
    if (auto dropped = memory.TakeDropped(clearName))
        return dropped;
    QFileDialog dialog(this, Text(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = QtNameFilters(filter);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.value(memory.FilterIndexIn(filter) - 1));
    if (const std::string folder = memory.StartFolder(); !folder.empty())
        dialog.setDirectory(FromLocalPath(folder));
    if (!memory.FileName().empty())
        dialog.selectFile(FromLocalPath(FileNamePart(memory.FileName())));
    if (RunModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    const std::string chosen = ToLocalPath(files.first());
    memory.Remember(chosen, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1);
    return chosen;
}

std::optional<std::string> TSDIAppForm::AskSaveFile(const std::string& title,
                                                    const std::string& filter,
                                                    const std::string& suggested) {
    QFileDialog dialog(this, Text(title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(QtNameFilters(filter));
    dialog.setDefaultSuffix(Text(DefaultExtensionOf(filter)));
    OpenDialogMemory& memory = model_.OpenDialog();
    if (const std::string folder = memory.StartFolder(suggested); !folder.empty())
        dialog.setDirectory(FromLocalPath(folder));
    if (!suggested.empty())
        dialog.selectFile(FromLocalPath(FileNamePart(suggested)));
    // Save As asks itself, naming every file it replaces, not only this one.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (RunModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    memory.RememberFolder(ParentFolder(ToLocalPath(files.first())));
    return ToLocalPath(files.first());
}

std::optional<std::string> TSDIAppForm::AskFolder(const std::string& title) {
    QFileDialog dialog(this, Text(title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (const std::string folder = model_.OpenDialog().StartFolder(); !folder.empty())
        dialog.setDirectory(FromLocalPath(folder));
    if (RunModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const std::string chosen = ToLocalPath(dialog.selectedFiles().first());
    model_.OpenDialog().RememberFolder(chosen);
    return chosen;
}

QPixmap TSDIAppForm::ThumbnailSquare(int image, int index) {
    const Thumbnail* thumbnail = model_.ThumbnailAt(image, index);
    if (!thumbnail)
        return {};
    Squares& squares = squares_[image - 1];
    const ThumbnailSlots::Place place = squares.places.Take(index);
    if (static_cast<std::size_t>(place.slot) >= squares.pixmaps.size())
        squares.pixmaps.resize(static_cast<std::size_t>(place.slot) + 1);
    if (place.fresh) {
        const Picture square = ThumbnailPicture(*thumbnail, ThumbnailSide);
        squares.pixmaps[static_cast<std::size_t>(place.slot)] =
            PixmapOf(square.pixels, square.width, square.height);
        ++decoded_;
    }
    return squares.pixmaps[static_cast<std::size_t>(place.slot)];
}

void TSDIAppForm::FillThumbnails(QListWidget* grid, const ImageView& image) {
    const int scroll = grid->verticalScrollBar()->value();
    const int row = grid->currentRow();
    grid->setUpdatesEnabled(false);
    grid->clear();
    // The files may have changed: their squares are decoded again when shown.
    Squares& squares = squares_[ImageOf(grid) - 1];
    squares.places.Clear();
    squares.pixmaps.clear();
    for (std::size_t i = 0; i < image.thumbnails.size(); ++i) {
        const Thumbnail& thumbnail = image.thumbnails[i];
        auto* item = new QListWidgetItem(Text(thumbnail.Text()));
        if (const Mark mark = MarkOf(thumbnail); mark == Mark::Refused)
            item->setForeground(QColor(0xC0, 0x00, 0x00));
        else if (mark == Mark::Edited)
            item->setForeground(QColor(0x10, 0x60, 0xD0));
        if (DifferenceMarkOf(thumbnail) == Mark::Differs)
            item->setBackground(QColor(0xFF, 0xEC, 0xB0));
        item->setIcon(QIcon(new ThumbnailEngine(this, ImageOf(grid), static_cast<int>(i))));
        item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
        item->setToolTip(Text(thumbnail.Tip()));
        grid->addItem(item);
    }
    if (row >= 0 && row < grid->count())
        grid->setCurrentRow(row);
    grid->setUpdatesEnabled(true);
    grid->verticalScrollBar()->setValue(scroll);
}

void TSDIAppForm::Draw() {
    const MainView& view = model_.View();
    setWindowTitle(Text(view.title));
    for (const auto& [item, action] : actions_) {
        action->setText(Text(model_.Caption(item)));
        action->setEnabled(model_.Offers(item));
        action->setChecked(model_.Checked(item));
        action->setStatusTip(Text(model_.Hint(item)));
    }
    if (!view.sessionPage) {
        HintLabel->setText(Text(view.hint));
        clientArea_->setCurrentWidget(HintLabel);
        WatchWorkFiles();
        return;
    }
    SessionPanel->setText(SessionPanelText(view.panel));
    const int tab = ImageTabs->currentIndex();
    FillThumbnails(Thumbnails, view.images[0]);
    ImageTabs->setTabText(0, Text(view.images[0].title));
    if (view.images.size() > 1) {
        FillThumbnails(Thumbnails2, view.images[1]);
        if (ImageTabs->indexOf(Thumbnails2) < 0)
            ImageTabs->addTab(Thumbnails2, Text(view.images[1].title));
        ImageTabs->setTabText(1, Text(view.images[1].title));
        if (tab >= 0)
            ImageTabs->setCurrentIndex(tab);
    } else if (ImageTabs->indexOf(Thumbnails2) >= 0) {
        ImageTabs->removeTab(ImageTabs->indexOf(Thumbnails2));
    }
    clientArea_->setCurrentWidget(sessionPage_);
    WatchWorkFiles();
}

void TSDIAppForm::WatchWorkFiles() {
    QStringList paths;
    for (const std::string& path : model_.Watched(true))
        paths << FromLocalPath(path);
    if (const QStringList watched = watcher_->files() + watcher_->directories(); !watched.isEmpty())
        watcher_->removePaths(watched);
    if (!paths.isEmpty())
        watcher_->addPaths(paths);
}

void TSDIAppForm::closeEvent(QCloseEvent* event) {
    if (model_.CloseButton())
        QMainWindow::closeEvent(event);
    else
        event->ignore();
}

bool TSDIAppForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        model_.WindowActivated();
    else if (event->type() == QEvent::WindowDeactivate)
        model_.WindowDeactivated();
    return QMainWindow::event(event);
}

void TSDIAppForm::DropOnRow(const QString& path, int image, int row) {
    if (auto item = model_.ItemAt(image, row))
        model_.DropOnItem(*item, ToLocalPath(path));
}

void TSDIAppForm::DropThumbnailsOnRow(int row) {
    if (auto item = model_.ItemAt(1, row))
        model_.DropItemsOnItem(ItemsUnder(Thumbnails2, Thumbnails2->currentItem()), *item);
}

namespace {

// The grid and row under a drop at point (in the window's coordinates).
std::pair<int, int> RowAt(QWidget* window, QListWidget* one, QListWidget* two, QPoint point) {
    for (QListWidget* grid : {one, two}) {
        if (!grid->isVisible())
            continue;
        const QPoint at = grid->viewport()->mapFrom(window, point);
        if (grid->viewport()->rect().contains(at))
            if (QListWidgetItem* item = grid->itemAt(at))
                return {grid == one ? 1 : 2, grid->row(item)};
    }
    return {0, -1};
}

} // namespace

void TSDIAppForm::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    // Every run answers a drop: Open, a thumbnail's Replace, or why neither.
    // The person's file stays where it is: a copy, never a move.
    // Image 2's thumbnails are known by their grid, whatever the drag carries.
    const bool file = urls.size() == 1 && urls.first().isLocalFile();
    if ((file || event->source() == Thumbnails2) && !model_.Busy()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void TSDIAppForm::dragMoveEvent(QDragMoveEvent* event) {
    const auto [image, row] = RowAt(this, Thumbnails, Thumbnails2, event->position().toPoint());
    const auto item = image ? model_.ItemAt(image, row) : std::nullopt;
    const bool thumbnail = event->source() == Thumbnails2;
    const auto from = thumbnail ? model_.ItemAt(2, Thumbnails2->currentRow()) : std::nullopt;
    const bool target =
        item && (thumbnail ? from && model_.TakesItemDrop(*from, *item) : model_.TakesDrop(*item));
    HighlightDropTarget(target ? Thumbnails : nullptr, target ? row : -1);
    event->setDropAction(Qt::CopyAction);
    event->setAccepted(target || !thumbnail);
}

void TSDIAppForm::dragLeaveEvent(QDragLeaveEvent* event) {
    HighlightDropTarget(nullptr, -1);
    QMainWindow::dragLeaveEvent(event);
}

void TSDIAppForm::HighlightDropTarget(QListWidget* grid, int row) {
    if (grid == dropGrid_ && row == dropRow_)
        return;
    if (dropGrid_)
        if (QListWidgetItem* was = dropGrid_->item(dropRow_))
            was->setBackground(QBrush());
    dropGrid_ = grid;
    dropRow_ = row;
    if (grid)
        if (QListWidgetItem* now = grid->item(row))
            now->setBackground(QColor(0xCC, 0xE4, 0xF7));
}

bool TSDIAppForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel)
        return QMainWindow::eventFilter(watched, event);
    for (QListWidget* grid : {Thumbnails, Thumbnails2}) {
        if (watched != grid->viewport())
            continue;
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (const int rows = WheelRows(wheelPending_, wheel->angleDelta().y()))
            grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->value() +
                                                rows * grid->gridSize().height());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TSDIAppForm::dropEvent(QDropEvent* event) {
    HighlightDropTarget(nullptr, -1);
    const QList<QUrl> urls = event->mimeData()->urls();
    const bool thumbnail = event->source() == Thumbnails2;
    if (!thumbnail && (urls.size() != 1 || !urls.first().isLocalFile()))
        return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The commands show dialogs; they run after the drop has finished, not inside it.
    const QString path = thumbnail ? QString() : urls.first().toLocalFile();
    const auto [image, row] = RowAt(this, Thumbnails, Thumbnails2, event->position().toPoint());
    // The items are taken now: the grid may be rebuilt before the command runs.
    const auto item = image ? model_.ItemAt(image, row) : std::nullopt;
    const auto from =
        thumbnail ? ItemsUnder(Thumbnails2, Thumbnails2->currentItem()) : std::vector<ItemRef>();
    QTimer::singleShot(0, this, [this, path, onItem = image != 0, item, thumbnail, from] {
        if (!onItem && !thumbnail)
            OpenDropped(path);
        else if (item && thumbnail)
            model_.DropItemsOnItem(from, *item);
        else if (item)
            model_.DropOnItem(*item, ToLocalPath(path));
    });
}

std::unique_ptr<TSDIAppForm> CreateAppWindows() {
    auto form = std::make_unique<TSDIAppForm>();
    form->SetDialogs(new TAboutBox1(form.get()), new TAboutBox(form.get()));
    return form;
}

} // namespace zantrel
