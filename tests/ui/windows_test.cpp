// The window program driven through its menu, with every modal dialog
// answered through the modal seam instead of a real modal loop.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QToolBar>
#include <QtTest>
#include <deque>
#include <filesystem>
#include <functional>

#include "base/worktree.h"

#include "imaging/decode.h"

#include "drm/decompile.h"
#include "drm/drmpack.h"

#include "shell/help.h"
#include "shell/state.h"
#include "shell/workview.h"

#include "ui/about.h"
#include "ui/about1.h"
#include "ui/modal.h"
#include "ui/opendir.h"
#include "ui/place.h"
#include "ui/sdimain.h"

#include "support/tempfolder.h"
#include "tools/drmbuilder.h"

using namespace zantrel;
using Bytes = std::vector<std::uint8_t>;

namespace {

// What a dialog looked like when it was run.
struct Seen {
    QString kind; // "box", "open", "save", "colour", "folder", "settings", "about"
    QString title;
    QString text;
    QString informative;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QSize picture; // a box's picture, when it shows one
    QStringList filters;
    QString defaultSuffix;
    QString directory;
    QString selectedFilter;
    QStringList selectedFiles;
    QColor colour;
};

// Answers the dialogs in turn; message boxes are always answered with OK and
// take no answer. A dialog without an answer is cancelled.
struct Script {
    std::vector<Seen> seen;
    std::deque<std::function<int(QDialog&)>> answers;

    Script() {
        SetModalRunner([this](QDialog& dialog) { return Run(dialog); });
    }
    ~Script() { SetModalRunner({}); }

    int Run(QDialog& dialog) {
        Seen s;
        s.title = dialog.windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            s.kind = "box";
            s.text = box->text();
            s.informative = box->informativeText();
            s.icon = box->icon();
            s.buttons = static_cast<int>(box->buttons().size());
            if (box->defaultButton())
                s.defaultButton = box->standardButton(box->defaultButton());
            s.picture = box->iconPixmap().size();
            seen.push_back(s);
            return QMessageBox::Ok;
        }
        if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
            s.kind = files->fileMode() == QFileDialog::Directory      ? "folder"
                     : files->acceptMode() == QFileDialog::AcceptSave ? "save"
                                                                      : "open";
            s.filters = files->nameFilters();
            s.defaultSuffix = files->defaultSuffix();
            s.directory = files->directory().absolutePath();
            s.selectedFilter = files->selectedNameFilter();
            s.selectedFiles = files->selectedFiles();
        } else if (auto* colours = qobject_cast<QColorDialog*>(&dialog)) {
            s.kind = "colour";
            s.colour = colours->currentColor();
        } else if (qobject_cast<TAboutBox1*>(&dialog)) {
            s.kind = "settings";
        } else if (qobject_cast<TAboutBox*>(&dialog)) {
            s.kind = "about";
        } else if (auto* page = dialog.findChild<QPlainTextEdit*>()) {
            s.kind = "page";
            s.text = page->toPlainText();
        }
        seen.push_back(s);
        if (answers.empty())
            return QDialog::Rejected;
        auto answer = std::move(answers.front());
        answers.pop_front();
        return answer(dialog);
    }

    void Choose(const std::string& path) {
        answers.push_back([path](QDialog& d) {
            static_cast<QFileDialog&>(d).selectFile(QString::fromStdString(path));
            return int(QDialog::Accepted);
        });
    }
    void ChooseFolder(const std::string& path) {
        answers.push_back([path](QDialog& d) {
            static_cast<QFileDialog&>(d).setDirectory(QString::fromStdString(path));
            return int(QDialog::Accepted);
        });
    }
    void Cancel() {
        answers.push_back([](QDialog&) { return int(QDialog::Rejected); });
    }
    void Accept() {
        answers.push_back([](QDialog&) { return int(QDialog::Accepted); });
    }
    void PickColour(QColor colour) {
        answers.push_back([colour](QDialog& d) {
            static_cast<QColorDialog&>(d).setCurrentColor(colour);
            return int(QDialog::Accepted);
        });
    }
    std::vector<Seen> Boxes() const {
        std::vector<Seen> boxes;
        for (const Seen& s : seen)
            if (s.kind == "box")
                boxes.push_back(s);
        return boxes;
    }
};

std::string Settings(const std::string& folder) { return test::ReadText(folder + "/zantrel.ini"); }

// A fresh run of the program in the test's start folder.
std::unique_ptr<TSDIAppForm> StartRun() {
    ResetState();
    auto form = CreateAppWindows();
    form->show();
    return form;
}

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void nameFilters();
    void freshRunWindow();
    void openThenSaveAs();
    void saveAsCancelAndExit();
    void portAndIncompatibleDrms();
    void ioFailureKeepsTheWindow();
    void closingASecondRunKeepsTheSession();
    void droppedFileOpens();
    void settingsDialog();
    void folderPicker();
    void workView();
    void windowPlace();
};

void WindowsTest::nameFilters() {
    QCOMPARE(QtNameFilters("SHX files|*.shx|SBF files|*.sbf|BIN files|*.bin|SMG files|*.smg"),
             QStringList({"SHX files (*.shx)", "SBF files (*.sbf)", "BIN files (*.bin)",
                          "SMG files (*.smg)"}));
    QCOMPARE(QtNameFilters("BIN files|*.bin"), QStringList({"BIN files (*.bin)"}));
    QCOMPARE(QtNameFilters("Pictures|*.bmp;*.gif|All"),
             QStringList({"Pictures (*.bmp *.gif)", "All (*)"}));
    QVERIFY(QtNameFilters("").isEmpty());
    const QStringList open = QtNameFilters(std::string(OpenFilter));
    QCOMPARE(open.first(), QString("All flash files (*.shx *.sbf *.bin *.smg)"));
    QCOMPARE(open.last(), QString("All files (*)")); // names without a dot too
}

void WindowsTest::freshRunWindow() {
    test::TempFolder folder;
    Script script;
    auto form = StartRun();

    QCOMPARE(form->windowTitle(), QString("Zantrel"));
    QCOMPARE(form->minimumSize(), QSize(MinimumWindowWidth, MinimumWindowHeight));
    // The menu bar is the shell's menu, item for item, enabled as start-up says.
    const QList<QAction*> top = form->menuBar()->actions();
    QCOMPARE(top.size(), qsizetype(MainMenu().size()));
    for (qsizetype i = 0; i < top.size(); ++i) {
        const MenuGroup& group = MainMenu()[static_cast<std::size_t>(i)];
        QCOMPARE(top[i]->text(), QString::fromUtf8(group.caption.data(), group.caption.size()));
        QCOMPARE(top[i]->statusTip(), QString::fromStdString(LongHint(group.hint)));
        if (group.item) {
            QCOMPARE(top[i], form->Action(*group.item));
            continue;
        }
        QList<QAction*> entries = top[i]->menu()->actions();
        entries.removeIf([](QAction* a) { return a->isSeparator(); });
        QCOMPARE(entries.size(), qsizetype(group.entries.size()));
        for (qsizetype k = 0; k < entries.size(); ++k) {
            const MenuEntry& entry = group.entries[static_cast<std::size_t>(k)];
            QCOMPARE(entries[k], form->Action(entry.item));
            QCOMPARE(entries[k]->text(),
                     QString::fromUtf8(entry.caption.data(), entry.caption.size()));
            QCOMPARE(entries[k]->statusTip(), QString::fromStdString(LongHint(entry.hint)));
            QCOMPARE(entries[k]->shortcut(),
                     QKeySequence(QString::fromStdString(ShortcutText(entry.shortcut))));
            QCOMPARE(entries[k]->isEnabled(), Offered(entry.item, CurrentRun()));
        }
    }
    QVERIFY(top[0]->menu()->actions()[5]->isSeparator()); // before Exit
    QVERIFY(!form->Action(MenuItem::FileSaveAsItem)->isEnabled());
    QVERIFY(form->ToolBar1->actions().isEmpty());
    QVERIFY(form->HintLabel->isVisible());
    QVERIFY(!form->Thumbnails->isVisible());

    // The progress bar: hidden and disabled until shown; over 100 is full.
    QVERIFY(!form->ProgressBar1->isVisible());
    QVERIFY(!form->ProgressBar1->isEnabled());
    form->ShowProgress(true);
    QVERIFY(form->ProgressBar1->isVisible());
    QVERIFY(form->ProgressBar1->isEnabled());
    form->SetProgress(104);
    QCOMPARE(form->ProgressBar1->value(), 100);
    form->SetProgress(37);
    QCOMPARE(form->ProgressBar1->value(), 37);
    form->ShowProgress(false);
    QVERIFY(!form->ProgressBar1->isVisible());
    QVERIFY(!form->ProgressBar1->isEnabled());

    form->SetStatusText("Extracting gifs");
    QCOMPARE(form->StatusText(), QString("Extracting gifs"));
    form->SetStatusText("");
    QCOMPARE(form->StatusText(), QString());

    form->ShowMessage("DRM decompiled.", "", "");
    QCOMPARE(script.seen.size(), std::size_t(1));
    // An empty caption shows the program's name, not its file's.
    QCOMPARE(script.seen[0].title, QString("Zantrel"));
    QCOMPARE(script.seen[0].text, QString("DRM decompiled."));
    QCOMPARE(script.seen[0].icon, QMessageBox::NoIcon);
    QCOMPARE(script.seen[0].buttons, 1);

    // The open dialog keeps its filter and file name within the run unless
    // the name is cleared.
    const std::string sbf = folder / "x.sbf";
    test::WriteText(sbf, "");
    script.answers.push_back([&](QDialog& d) {
        auto& dialog = static_cast<QFileDialog&>(d);
        dialog.selectNameFilter("SBF files (*.sbf)");
        dialog.selectFile(QString::fromStdString(sbf));
        return int(QDialog::Accepted);
    });
    const std::string filter = "SHX files|*.shx|SBF files|*.sbf|BIN files|*.bin|SMG files|*.smg";
    QCOMPARE(form->AskOpenFile("One", filter, false), std::optional<std::string>(sbf));
    QCOMPARE(script.seen.back().selectedFilter, QString("SHX files (*.shx)"));
    QCOMPARE(form->AskOpenFile("Two", filter, false), std::optional<std::string>());
    QCOMPARE(script.seen.back().title, QString("Two"));
    QCOMPARE(script.seen.back().selectedFilter, QString("SBF files (*.sbf)"));
    QCOMPARE(script.seen.back().selectedFiles, QStringList({QString::fromStdString(sbf)}));
    QCOMPARE(form->AskOpenFile("Three", filter, true), std::optional<std::string>());
    QVERIFY(!script.seen.back().selectedFiles.contains(QString::fromStdString(sbf)));
    QCOMPARE(script.seen.back().directory, QString::fromStdString(folder.Path()));
    script.seen.clear();

    // The help page: the shell's text, scrollable; F1 reaches it.
    QCOMPARE(form->Action(MenuItem::HelpHowItem)->shortcut(), QKeySequence(Qt::Key_F1));
    form->Action(MenuItem::HelpHowItem)->trigger();
    QCOMPARE(script.seen.back().title, QString("How Zantrel Works"));
    QCOMPARE(script.seen.back().text, QtText(HowItWorksText));
    QVERIFY(form->isVisible());

    // About: shown through the menu, the window stays.
    script.Accept();
    form->Action(MenuItem::HelpAboutItem)->trigger();
    QCOMPARE(script.seen.back().kind, QString("about"));
    QCOMPARE(script.seen.back().title, QString("About"));
    QCOMPARE(form->AboutBox()->ProductName->text(), QString("Zantrel"));
    QVERIFY(form->AboutBox()->ProductName->font().bold());
    QCOMPARE(form->AboutBox()->Version->text(), QString("Version 0.3.3 beta"));
    QCOMPARE(form->AboutBox()->Readme->text(),
             QString("Read README.md (in /usr/share/doc/zantrel) for more."));
    QVERIFY(form->AboutBox()->OKButton->isDefault());
    QVERIFY(form->isVisible());

    // Exit in a fresh run: no word, no session file, the window closes.
    const std::size_t before = script.seen.size();
    form->Action(MenuItem::FileExitItem)->trigger();
    QCOMPARE(script.seen.size(), before);
    QVERIFY(!form->isVisible());
    QVERIFY(!test::Exists(folder / "shxdata.dat"));
}

void WindowsTest::openThenSaveAs() {
    test::TempFolder folder;
    samples::WriteSampleSuperfile(folder / "phone.shx", samples::SmallExtendedPlan(1), 7);
    {
        Script script;
        auto form = StartRun();
        script.Choose(folder / "phone.shx");
        script.Cancel();
        form->Action(MenuItem::FileOpenItem)->trigger();

        QCOMPARE(script.seen.size(), std::size_t(3));
        QCOMPARE(script.seen[0].kind, QString("open"));
        QCOMPARE(script.seen[0].title, QString("Open SBF/SHX file to edit or import DRM to"));
        QCOMPARE(script.seen[0].filters, QtNameFilters(std::string(OpenFilter)));
        QCOMPARE(script.seen[0].selectedFilter, QtNameFilters(std::string(OpenFilter)).first());
        QCOMPARE(script.seen[1].kind, QString("open"));
        // The second starts on the first file's kind, in its folder.
        QCOMPARE(script.seen[1].selectedFilter, QString("SHX files (*.shx)"));
        QCOMPARE(script.seen[1].directory, QString::fromStdString(folder.Path()));
        QCOMPARE(script.seen[1].title,
                 QString("Open SBF/SHX file to export DRM from (Cancel to skip)"));
        QCOMPARE(script.seen[2].kind, QString("box"));
        QCOMPARE(script.seen[2].text, QString("DRM decompiled."));
        QCOMPARE(script.seen[2].title, QString("Zantrel"));
        QVERIFY(!form->isVisible());
        QCOMPARE(test::ReadText(folder / "shxdata.dat"), std::string("1"));
    }

    // Second run: Save As only, and the thumbnails of image 1.
    Script script;
    auto form = StartRun();
    QVERIFY(!form->Action(MenuItem::FileOpenItem)->isEnabled());
    QVERIFY(!form->Action(MenuItem::Port1)->isEnabled());
    QVERIFY(form->Action(MenuItem::FileSaveAsItem)->isEnabled());
    QVERIFY(form->Action(MenuItem::FileExitItem)->isEnabled());
    QVERIFY(!form->Action(MenuItem::Settings1)->isEnabled());
    QVERIFY(form->Action(MenuItem::HelpAboutItem)->isEnabled());
    QVERIFY(form->Thumbnails->isVisible());
    QCOMPARE(form->Thumbnails->count(), 5);
    QCOMPARE(form->Thumbnails->item(0)->text(), QString("1.bmp\n3x2"));
    QCOMPARE(form->Thumbnails->item(1)->text(), QString("2.bmp\n40x30"));
    QCOMPARE(form->Thumbnails->item(2)->text(), QString("3.gif\n12x10"));
    QCOMPARE(form->Thumbnails->item(3)->text(), QString("4.bmp\n9x8"));
    QCOMPARE(form->Thumbnails->item(4)->text(), QString("5.gif\n16x16"));

    // The panel says what is edited and where; one image, no second tab.
    QVERIFY(form->SessionPanel->text().contains(
        QString::fromStdString(folder / "phone.shx").toHtmlEscaped()));
    QVERIFY(form->SessionPanel->text().contains("Superfile, one image"));
    QCOMPARE(form->ImageTabs->count(), 1);
    QCOMPARE(form->ImageTabs->tabText(0), QString("Image 1: phone.shx"));
    QCOMPARE(form->windowTitle(), QString::fromUtf8("phone.shx \xE2\x80\x94 Zantrel"));

    // A picture saved at another size by another program is marked as soon
    // as the watcher sees it, and the marker goes when the size is put back.
    const std::string picture = State().icons1Dir + "/2.bmp";
    const Bytes original = test::ReadAll(picture);
    QImage(41, 30, QImage::Format_RGB888).save(QString::fromStdString(picture), "BMP");
    QTRY_COMPARE(form->Thumbnails->item(1)->text(), QString("2.bmp\nsize changed: was 40x30"));
    QCOMPARE(form->Thumbnails->item(1)->foreground().color(), QColor(0xC0, 0, 0));
    test::WriteAll(picture, original);
    QTRY_COMPARE(form->Thumbnails->item(1)->text(), QString("2.bmp\n40x30"));
    // Coming back to the window shows a change at once.
    QImage(41, 30, QImage::Format_RGB888).save(QString::fromStdString(picture), "BMP");
    QEvent deactivated(QEvent::WindowDeactivate);
    QEvent activated(QEvent::WindowActivate);
    QApplication::sendEvent(form.get(), &deactivated);
    QApplication::sendEvent(form.get(), &activated);
    QCOMPARE(form->Thumbnails->item(1)->text(), QString("2.bmp\nsize changed: was 40x30"));
    test::WriteAll(picture, original);
    QApplication::sendEvent(form.get(), &deactivated);
    QApplication::sendEvent(form.get(), &activated);
    QCOMPARE(form->Thumbnails->item(1)->text(), QString("2.bmp\n40x30"));

    // A thumbnail no program opens is named in a box: xdg-open's failure is
    // seen; it was asked for the file, then for its folder.
    std::filesystem::create_directory(folder / "bin");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(folder / "bin") + ":" + path);
    for (const char* status : {"4", "0"}) {
        test::WriteText(folder / "bin/xdg-open", "#!/bin/sh\necho \"$1\" >> \"$0.asked\"\nexit " +
                                                     std::string(status) + "\n");
        std::filesystem::permissions(folder / "bin/xdg-open", std::filesystem::perms::owner_all);
        emit form->Thumbnails->itemActivated(form->Thumbnails->item(0));
    }
    qputenv("PATH", path);
    QCOMPARE(script.Boxes().size(), std::size_t(1));
    QCOMPARE(script.Boxes()[0].text, QString("No program is set up to open 1.bmp or its folder."));
    const std::string first = State().icons1Dir + "/1.bmp\n";
    QCOMPARE(test::ReadText(folder / "bin/xdg-open.asked"),
             first + State().icons1Dir + "\n" + first);
    script.seen.clear();

    // A thumbnail's own menu replaces it from a picture file and restores
    // it; the grid follows at once.
    std::unique_ptr<QMenu> menu(form->ThumbnailMenu(1, 2));
    QCOMPARE(menu->actions().size(), 2);
    QCOMPARE(menu->actions()[0]->text(), QString("&Replace..."));
    QVERIFY(menu->actions()[0]->isEnabled());
    QImage green(12, 10, QImage::Format_ARGB32);
    green.fill(QColor(0, 0xC0, 0));
    std::filesystem::create_directory(folder / "pictures");
    green.save(QString::fromStdString(folder / "pictures/green.png"));
    script.Choose(folder / "pictures/green.png");
    // The grid keeps its place: small enough to scroll, scrolled to its end.
    form->resize(form->minimumSize());
    QApplication::processEvents();
    QScrollBar* bar = form->Thumbnails->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    const int place = bar->value();
    form->ChooseForThumbnail(MenuItem::ItemReplaceItem, 1, 2);
    QCOMPARE(bar->value(), place);
    QCOMPARE(script.seen.at(script.seen.size() - 2).filters.first(),
             QString("Pictures (*.png *.jpg *.jpeg *.gif *.bmp *.tga)"));
    QCOMPARE(form->Thumbnails->item(2)->text(), QString("3.gif\n12x10, edited"));
    QCOMPARE(form->Thumbnails->item(2)->foreground().color(), QColor(0x10, 0x60, 0xD0));
    QVERIFY(form->SessionPanel->text().contains("1 of 5 edited"));
    form->ChooseForThumbnail(MenuItem::ItemRestoreItem, 1, 2);
    QCOMPARE(bar->value(), place);
    QCOMPARE(form->Thumbnails->item(2)->text(), QString("3.gif\n12x10"));
    // Edit > Undo names the step and takes it back; the grid follows.
    QAction* undo = form->Action(MenuItem::EditUndoItem);
    QCOMPARE(undo->text(), QString("&Undo Restore 3.gif"));
    QVERIFY(undo->isEnabled());
    undo->trigger();
    QCOMPARE(form->Thumbnails->item(2)->text(), QString("3.gif\n12x10, edited"));
    QCOMPARE(form->Action(MenuItem::EditRedoItem)->text(), QString("&Redo Restore 3.gif"));
    form->Action(MenuItem::EditRedoItem)->trigger();
    QCOMPARE(form->Thumbnails->item(2)->text(), QString("3.gif\n12x10"));
    // Dropped on a thumbnail, a picture replaces it after a question that
    // shows the item now and as it would be, side by side.
    form->DropOnRow(QString::fromStdString(folder / "pictures/green.png"), 1, 2);
    QCOMPARE(script.seen.back().text,
             QString("Replace 3.gif with green.png? It is written at 12 \u00D7 10 pixels, the "
                     "item's size."));
    QCOMPARE(script.seen.back().picture, QSize(356, 197));
    QCOMPARE(form->Thumbnails->item(2)->text(), QString("3.gif\n12x10, edited"));
    // The thumbnail's menu acts on the item it opened on, even when the grid
    // is rebuilt while it is open (the watcher's refresh): the menu of item 3
    // opened, change() run and the grid refreshed under it, then its entry
    // downs below the top chosen.
    const auto chooseUnderRefresh = [&](int downs, const std::function<void()>& change) {
        bool refreshed = false;
        QTimer::singleShot(100, form.get(), [&] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!popup)
                return;
            change();
            form->RefreshThumbnails();
            refreshed = true;
            for (int i = 0; i < downs; ++i)
                QTest::keyClick(popup, Qt::Key_Down);
            QTest::keyClick(popup, Qt::Key_Return);
        });
        QTimer::singleShot(3000, [] {
            if (QWidget* popup = QApplication::activePopupWidget())
                popup->close();
        });
        emit form->Thumbnails->customContextMenuRequested(
            form->Thumbnails->visualItemRect(form->Thumbnails->item(2)).center());
        return refreshed;
    };
    // Restore Original.
    QVERIFY(chooseUnderRefresh(2, [] {}));
    QCOMPARE(form->Thumbnails->item(2)->text(), QString("3.gif\n12x10"));
    // Replace, while another program saves a work file: the question names
    // the item clicked.
    const std::string other = State().icons1Dir + "/5.gif";
    const Bytes otherBytes = test::ReadAll(other);
    script.Choose(folder / "pictures/green.png");
    QVERIFY(
        chooseUnderRefresh(1, [&] { test::CopyFileOver(State().icons1Dir + "/3.gif", other); }));
    QCOMPARE(script.seen.back().text,
             QString("Replace 3.gif with green.png? It is written at 12 \u00D7 10 pixels, the "
                     "item's size."));
    QCOMPARE(form->Thumbnails->item(2)->text(), QString("3.gif\n12x10, edited"));
    form->ChooseForThumbnail(MenuItem::ItemRestoreItem, 1, 2);
    test::WriteAll(other, otherBytes);
    script.seen.clear();

    script.Choose(folder / "out.shx");
    form->Action(MenuItem::FileSaveAsItem)->trigger();
    QCOMPARE(script.seen[0].kind, QString("save"));
    QCOMPARE(script.seen[0].title, QString("Select a file to save DRM reflash"));
    QCOMPARE(script.seen[0].filters, QStringList({"SHX files (*.shx)"}));
    QCOMPARE(script.seen[0].defaultSuffix, QString("shx"));
    // It starts where the last dialog ended, Replace's in the pictures' folder.
    QCOMPARE(script.seen[0].selectedFiles,
             QStringList({QString::fromStdString(folder / "pictures/phone-new.shx")}));
    QCOMPARE(script.Boxes().size(), std::size_t(1));
    QCOMPARE(script.Boxes()[0].text, QString("Operation Complete"));
    QCOMPARE(script.Boxes()[0].title, QString("Zantrel"));
    QCOMPARE(form->StatusText(), QString("Complete"));
    QVERIFY(!form->isVisible());
    QVERIFY(test::Exists(folder / "out.shx"));
    QVERIFY(test::Exists(folder / "out.bin"));
    QVERIFY(!test::Exists(folder / "shxdata.dat"));
    // The superfile starts with the 8172-byte header, then S-records.
    const Bytes written = test::ReadAll(folder / "out.shx");
    QVERIFY(written.size() > 8172);
    QCOMPARE(written[8172], std::uint8_t('S'));
}

void WindowsTest::saveAsCancelAndExit() {
    test::TempFolder folder;
    // A raw image opened with askSecondFile off: mode 5.
    test::WriteAll(folder / "drm.smg", samples::BuildDrmCodeGroup(samples::SmallExtendedPlan(3)));
    test::WriteText(folder / "zantrel.ini",
                    "1\r\n0\r\n1\r\n255\r\n0\r\n255\r\n" + folder.Path() + "/work\r\n");
    {
        Script script;
        auto form = StartRun();
        script.Choose(folder / "drm.smg");
        form->Action(MenuItem::FileOpenItem)->trigger();
        QCOMPARE(script.seen.size(), std::size_t(2)); // one open dialog, one box
        QCOMPARE(test::ReadText(folder / "shxdata.dat"), std::string("5"));
    }
    {
        // Save As cancelled: the session is kept for the next run.
        Script script;
        auto form = StartRun();
        script.Cancel();
        form->Action(MenuItem::FileSaveAsItem)->trigger();
        QCOMPARE(script.seen[0].filters, QStringList({"BIN files (*.bin)"}));
        QCOMPARE(script.Boxes().size(), std::size_t(1));
        QCOMPARE(script.Boxes()[0].text, QString("DRM was not compiled"));
        QCOMPARE(script.Boxes()[0].title, QString("Incomplete Operation"));
        QVERIFY(!form->isVisible());
        QCOMPARE(test::ReadText(folder / "shxdata.dat"), std::string("5"));
    }
    {
        // Exit in a second run keeps the session too.
        Script script;
        auto form = StartRun();
        form->Action(MenuItem::FileExitItem)->trigger();
        QCOMPARE(script.Boxes().size(), std::size_t(1));
        QCOMPARE(script.Boxes()[0].text, QString("DRM was not compiled"));
        QVERIFY(!form->isVisible());
        QCOMPARE(test::ReadText(folder / "shxdata.dat"), std::string("5"));
    }
    // Save As with a name without extension gets ".shx"; a raw session then
    // writes only the code group beside it.
    Script script;
    auto form = StartRun();
    script.Choose(folder / "new");
    form->Action(MenuItem::FileSaveAsItem)->trigger();
    QCOMPARE(script.Boxes().size(), std::size_t(1));
    QCOMPARE(script.Boxes()[0].text, QString("Operation Complete"));
    QVERIFY(test::Exists(folder / "new.bin"));
    QVERIFY(!test::Exists(folder / "new.shx"));
    QVERIFY(!test::Exists(folder / "new"));
    QCOMPARE(test::ReadAll(folder / "new.bin"),
             samples::BuildDrmCodeGroup(samples::SmallExtendedPlan(3)));
}

void WindowsTest::portAndIncompatibleDrms() {
    test::TempFolder folder;
    samples::WriteSampleSuperfile(folder / "a.shx", samples::SmallExtendedPlan(10), 1);
    samples::WriteSampleSuperfile(folder / "b.shx", samples::SmallExtendedPlan(50), 2);
    {
        Script script;
        auto form = StartRun();
        script.Choose(folder / "a.shx");
        script.Choose(folder / "b.shx");
        form->Action(MenuItem::FileOpenItem)->trigger();
        QCOMPARE(test::ReadText(folder / "shxdata.dat"), std::string("2"));
    }
    Script script;
    auto form = StartRun();
    QVERIFY(form->Action(MenuItem::Port1)->isEnabled());
    QVERIFY(form->Action(MenuItem::FileSaveAsItem)->isEnabled());
    // Both images shown; the panel says whether Port can work.
    QCOMPARE(form->ImageTabs->count(), 2);
    QCOMPARE(form->Thumbnails2->count(), 5);
    // Ctrl+Tab and Ctrl+Shift+Tab go between the images.
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form->Thumbnails, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(form->ImageTabs->currentIndex(), 1);
    QTest::keyClick(form->Thumbnails2, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(form->ImageTabs->currentIndex(), 0);
    QVERIFY(form->SessionPanel->text().contains(
        "copies 3 icons and 2 pictures of b.shx over those of a.shx"));
    // Image 2's thumbnails offer their item to image 1, several at once.
    std::unique_ptr<QMenu> take(form->ThumbnailMenu(2, 2));
    QCOMPARE(take->actions().size(), 1);
    QCOMPARE(take->actions()[0]->text(), QString("&Use in a.shx"));
    QCOMPARE(form->Thumbnails2->selectionMode(), QAbstractItemView::ExtendedSelection);
    const std::string icon1 = State().icons1Dir + "/3.gif";
    const Bytes exported = test::ReadAll(State().icons2Dir + "/3.gif");
    QVERIFY(test::ReadAll(icon1) != exported);
    // Image 2's thumbnail dropped on one of image 1's is taken into it, asked first.
    const Bytes original = test::ReadAll(icon1);
    form->Thumbnails2->setCurrentRow(4);
    form->DropThumbnailsOnRow(2);
    QCOMPARE(script.Boxes().back().text,
             QString("Use item 5 of b.shx as 3.gif of a.shx? Fitted to the icon's size: 3. "
                     "Everything else stays as it is."));
    QVERIFY(test::ReadAll(icon1) != original);
    form->Action(MenuItem::EditUndoItem)->trigger();
    QCOMPARE(test::ReadAll(icon1), original);
    script.seen.clear();
    form->Action(MenuItem::Port1)->trigger();
    QVERIFY(form->isVisible());
    QVERIFY(!form->CloseRequested());
    // Ported, no item differs: the switch leaves image 2's tab empty.
    QAction* onlyDiffering = form->Action(MenuItem::ViewOnlyDifferingItem);
    QVERIFY(onlyDiffering->isEnabled() && !onlyDiffering->isChecked());
    onlyDiffering->trigger();
    QVERIFY(onlyDiffering->isChecked());
    QCOMPARE(form->Thumbnails2->count(), 0);
    QCOMPARE(test::ReadAll(icon1), exported);
    QCOMPARE(form->Thumbnails->count(), 5);
    // Asked first, naming what goes, then told what came.
    QCOMPARE(script.Boxes().size(), std::size_t(2));
    QCOMPARE(script.Boxes()[0].text,
             QString("Replace 3 icons and 2 pictures of a.shx with those of b.shx?\n\nNone of "
                     "them was edited since Open."));
    QCOMPARE(script.Boxes()[1].text, QString("Ported 3 icons and 2 pictures of b.shx into a.shx."));
    QCOMPARE(form->StatusText(), script.Boxes()[1].text);
    QVERIFY(!form->ProgressBar1->isVisible());

    // Image 2 turned basic: the port refuses and the run ends.
    {
        Bytes descr = test::ReadAll(State().drmpack2Dir + "/descr.dat");
        descr.resize(48);
        test::WriteAll(State().drmpack2Dir + "/descr.dat", descr);
    }
    const Bytes before = test::ReadAll(State().icons1Dir + "/4.bmp");
    // Port's hint says so beforehand.
    form->RefreshThumbnails();
    QCOMPARE(form->Action(MenuItem::Port1)->statusTip(),
             QString("Port will refuse this pair: the DRMs of a.shx and b.shx have different "
                     "layouts."));
    form->Action(MenuItem::Port1)->trigger();
    QCOMPARE(script.Boxes().size(), std::size_t(3));
    QCOMPARE(script.Boxes()[2].text, QString("Incompatible DRMs"));
    QCOMPARE(script.Boxes()[2].title, QString("Error"));
    QVERIFY(!form->isVisible());
    QCOMPARE(test::ReadAll(State().icons1Dir + "/4.bmp"), before);
}

void WindowsTest::ioFailureKeepsTheWindow() {
    test::TempFolder folder;
    samples::WriteSampleSuperfile(folder / "a.shx", samples::SmallExtendedPlan(10), 1);
    samples::WriteSampleSuperfile(folder / "b.shx", samples::SmallExtendedPlan(50), 2);
    {
        Script script;
        auto form = StartRun();
        script.Choose(folder / "a.shx");
        script.Choose(folder / "b.shx");
        form->Action(MenuItem::FileOpenItem)->trigger();
    }
    Script script;
    auto form = StartRun();
    std::filesystem::remove(State().drmpack2Dir + "/descr.dat");
    form->Action(MenuItem::Port1)->trigger();
    QCOMPARE(script.seen.size(), std::size_t(1));
    QCOMPARE(script.seen[0].kind, QString("box"));
    QCOMPARE(script.seen[0].icon, QMessageBox::Critical);
    QCOMPARE(script.seen[0].title, QString("Zantrel"));
    QCOMPARE(script.seen[0].text, QString("File not found."));
    // The file first, then what to do about it.
    QVERIFY(script.seen[0].informative.startsWith(
        QDir::toNativeSeparators(QString::fromStdString(State().drmpack2Dir + "/descr.dat")) +
        "\n\n"));
    QCOMPARE(script.seen[0].buttons, 1);
    QVERIFY(form->isVisible());
    // The failure came in the middle of the port: nothing of it is left showing.
    QVERIFY(!form->ProgressBar1->isVisible());
    QCOMPARE(form->StatusText(), QString());
    QVERIFY(form->Action(MenuItem::Port1)->isEnabled());
    QVERIFY(form->Action(MenuItem::FileSaveAsItem)->isEnabled());
    QVERIFY(!form->Action(MenuItem::FileOpenItem)->isEnabled());
    QVERIFY(!form->Action(MenuItem::Settings1)->isEnabled());

    // Save As into a folder that does not exist fails the same way and keeps the session.
    script.Choose(folder / "missing/out.shx");
    form->Action(MenuItem::FileSaveAsItem)->trigger();
    QCOMPARE(script.seen.back().kind, QString("box"));
    QCOMPARE(script.seen.back().icon, QMessageBox::Critical);
    QVERIFY(form->isVisible());
    QVERIFY(!test::Exists(folder / "missing"));

    // Exit still keeps the pending work.
    form->Action(MenuItem::FileExitItem)->trigger();
    QVERIFY(!form->isVisible());
    QCOMPARE(test::ReadText(folder / "shxdata.dat"), std::string("2"));
}

void WindowsTest::closingASecondRunKeepsTheSession() {
    test::TempFolder folder;
    samples::WriteSampleSuperfile(folder / "a.shx", samples::SmallExtendedPlan(10), 1);
    {
        Script script;
        auto form = StartRun();
        script.Choose(folder / "a.shx");
        form->Action(MenuItem::FileOpenItem)->trigger();
    }
    const auto work = test::Snapshot(folder / "binary1");
    {
        Script script;
        auto form = StartRun();
        QVERIFY(form->Action(MenuItem::FileDiscardItem)->isEnabled());
        form->close(); // the title-bar button: Exit
        QVERIFY(!form->isVisible());
        QCOMPARE(script.seen.size(), std::size_t(1));
        QCOMPARE(script.seen[0].text, QString("DRM was not compiled"));
    }
    QCOMPARE(test::ReadText(folder / "shxdata.dat"), std::string("1"));
    QVERIFY(test::Snapshot(folder / "binary1") == work);

    // Discard asks, ends the session with its work files, says so, and the
    // window is a fresh run's.
    Script script;
    auto form = StartRun();
    form->Action(MenuItem::FileDiscardItem)->trigger();
    QCOMPARE(script.seen.size(), std::size_t(2));
    QCOMPARE(script.seen[0].icon, QMessageBox::Question);
    QCOMPARE(script.seen[0].defaultButton, QMessageBox::Cancel);
    QCOMPARE(script.seen[1].text, QString("Session discarded."));
    QVERIFY(!test::Exists(folder / "shxdata.dat"));
    QVERIFY(test::ListFiles(folder / "binary1").empty());
    QVERIFY(form->isVisible());
    QVERIFY(form->Action(MenuItem::FileOpenItem)->isEnabled());
    QVERIFY(!form->Action(MenuItem::FileDiscardItem)->isEnabled());
}

void WindowsTest::droppedFileOpens() {
    test::TempFolder folder;
    samples::WriteSampleSuperfile(folder / "phone.shx", samples::SmallExtendedPlan(1), 7);
    {
        Script script;
        auto form = StartRun();
        script.Cancel(); // the second dialog
        form->OpenDropped(QString::fromStdString(folder / "phone.shx"));
        QCOMPARE(script.seen.size(), std::size_t(2));
        QCOMPARE(script.seen[0].title,
                 QString("Open SBF/SHX file to export DRM from (Cancel to skip)"));
        QCOMPARE(script.seen[1].text, QString("DRM decompiled."));
        QVERIFY(!form->isVisible());
        QCOMPARE(test::ReadText(folder / "shxdata.dat"), std::string("1"));
    }
    // In a second run a drop beside the thumbnails says why it opens nothing.
    Script script;
    auto form = StartRun();
    form->OpenDropped(QString::fromStdString(folder / "phone.shx"));
    QCOMPARE(script.seen.size(), std::size_t(1));
    QCOMPARE(script.seen[0].text, QString("A session is pending, so phone.shx was not opened."));
    QVERIFY(form->isVisible());
}

void WindowsTest::settingsDialog() {
    test::TempFolder folder;
    Script script;
    auto form = StartRun();
    TAboutBox1& settings = *form->SettingsDialog();
    QCOMPARE(settings.windowTitle(), QString("Settings"));
    QCOMPARE(settings.CheckBox1->text(), QString("&Do not perform clean-up on completion"));
    QCOMPARE(settings.CheckBox2->text(),
             QString("&Edit only mode (Export from dialog is not invoked)"));
    QCOMPARE(settings.CheckBox3->text(), QString("Select &folder to save icons and CG's "));
    QCOMPARE(settings.CheckBox4->text(), QString("Disable &RAW 2 BMP conversion"));
    QCOMPARE(settings.CheckBox5->text(), QString("Select &transparency replacer color"));
    QCOMPARE(settings.Button1->text(), QString("Cancel"));
    QCOMPARE(settings.Button2->text(), QString("OK"));
    // Tab as the dialog reads: the swatch in its place, OK before Cancel.
    const auto nextStop = [](QWidget* from) {
        QWidget* next = from->nextInFocusChain();
        while (next != from && !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        return next;
    };
    QCOMPARE(nextStop(settings.CheckBox5), static_cast<QWidget*>(settings.Shape1));
    QCOMPARE(nextStop(settings.Shape1), static_cast<QWidget*>(settings.CheckBox3));
    QCOMPARE(nextStop(settings.Button2), static_cast<QWidget*>(settings.Button1));

    // Defaults: all clear, colour box and swatch enabled, magenta.
    for (QCheckBox* box : {settings.CheckBox1, settings.CheckBox2, settings.CheckBox3,
                           settings.CheckBox4, settings.CheckBox5})
        QVERIFY(!box->isChecked());
    QVERIFY(settings.CheckBox5->isEnabled());
    QVERIFY(settings.Shape1->isEnabled());
    QCOMPARE(settings.Shape1Colour(), QColor(255, 0, 255));

    // Conversion off and on again, at once.
    settings.CheckBox4->click();
    QVERIFY(!settings.CheckBox5->isEnabled());
    QVERIFY(!settings.Shape1->isEnabled());
    QVERIFY(!State().rawConversionEnabled);
    settings.CheckBox4->click();
    QVERIFY(settings.CheckBox5->isEnabled());
    QVERIFY(State().rawConversionEnabled);
    // A tick set by the program runs no handler.
    settings.CheckBox4->setChecked(true);
    QVERIFY(settings.CheckBox5->isEnabled());
    QVERIFY(State().rawConversionEnabled);
    settings.CheckBox4->setChecked(false);

    // A picked colour ticks the box and paints the swatch; the picker opened magenta.
    script.PickColour(QColor(255, 128, 0));
    settings.CheckBox5->click();
    QCOMPARE(script.seen.back().kind, QString("colour"));
    QCOMPARE(script.seen.back().colour, QColor(255, 0, 255));
    QVERIFY(settings.CheckBox5->isChecked());
    QCOMPARE(settings.Shape1Colour(), QColor(255, 128, 0));
    QCOMPARE(int(State().replacer.red), 255);
    QCOMPARE(int(State().replacer.green), 128);
    QCOMPARE(int(State().replacer.blue), 0);
    // Cancelled: box cleared, colour kept; the picker remembers the last pick.
    settings.CheckBox5->click();
    QCOMPARE(script.seen.back().colour, QColor(255, 128, 0));
    QVERIFY(!settings.CheckBox5->isChecked());
    QCOMPARE(settings.Shape1Colour(), QColor(255, 128, 0));
    // A click on the swatch ticks the box as a click on the box does.
    const std::size_t dialogs = script.seen.size();
    script.PickColour(QColor(255, 128, 0));
    QTest::mouseClick(settings.Shape1, Qt::LeftButton);
    QCOMPARE(script.seen.size(), dialogs + 1);
    QCOMPARE(script.seen.back().kind, QString("colour"));
    QVERIFY(settings.CheckBox5->isChecked());
    QCOMPARE(settings.Shape1Colour(), QColor(255, 128, 0));
    // So does Space on it; its frame thickens while it has the keyboard.
    script.PickColour(QColor(255, 128, 0));
    QTest::keyClick(settings.Shape1, Qt::Key_Space);
    QCOMPARE(script.seen.size(), dialogs + 2);
    QCOMPARE(script.seen.back().kind, QString("colour"));
    QFocusEvent focused(QEvent::FocusIn);
    QApplication::sendEvent(settings.Shape1, &focused);
    QCOMPARE(settings.Shape1->lineWidth(), 2);

    // The folder picker opens in the work folder; cancel clears the box.
    const std::string workFolder = State().workFolder;
    QCOMPARE(settings.WorkFolderLabel->toolTip(),
             QDir::toNativeSeparators(QString::fromStdString(workFolder)));
    settings.CheckBox3->click();
    QCOMPARE(script.seen.back().kind, QString("folder"));
    QCOMPARE(script.seen.back().title, QString("Select a folder"));
    QCOMPARE(script.seen.back().directory, QDir(QString::fromStdString(workFolder)).absolutePath());
    QVERIFY(!settings.CheckBox3->isChecked());

    // Cancel writes nothing.
    const std::string before = Settings(folder.Path());
    settings.CheckBox1->click();
    script.Cancel();
    form->Action(MenuItem::Settings1)->trigger();
    QCOMPARE(script.seen.back().kind, QString("settings"));
    QCOMPARE(Settings(folder.Path()), before);

    // OK writes all seven lines, with the new work folder.
    std::filesystem::create_directory(folder / "elsewhere");
    script.ChooseFolder(folder / "elsewhere");
    settings.CheckBox3->click();
    QVERIFY(settings.CheckBox3->isChecked());
    script.Accept();
    form->Action(MenuItem::Settings1)->trigger();
    QCOMPARE(Settings(folder.Path()),
             "0\r\n1\r\n1\r\n0\r\n128\r\n255\r\n" + folder.Path() + "/elsewhere\r\n");
    QVERIFY(std::filesystem::is_directory(folder / "elsewhere/binary1/drmpack/icons"));
    QVERIFY(form->isVisible());
    QDir::setCurrent(QString::fromStdString(folder.Path()));
}

void WindowsTest::folderPicker() {
    test::TempFolder folder;
    Script script;
    std::filesystem::create_directories(folder / "a/b");
    const QString start = QDir::currentPath();

    TOpenDirectory picker;
    int shown = 0, closed = 0;
    picker.OnShow = [&](QFileDialog&) { ++shown; };
    picker.OnClose = [&](QFileDialog&) { ++closed; };
    picker.Title = "Select a folder";
    picker.InitialDirectory = QString::fromStdString(folder / "a");

    // Accepted: the chosen folder, no network form, and the current folder moves.
    const std::string chosen = folder / "a/b";
    script.answers.push_back([&](QDialog& d) {
        static_cast<QFileDialog&>(d).setDirectory(QString::fromStdString(chosen));
        d.show();
        d.done(QDialog::Accepted);
        return d.result();
    });
    QVERIFY(picker.Execute());
    QCOMPARE(script.seen.back().title, QString("Select a folder"));
    QCOMPARE(script.seen.back().directory, QString::fromStdString(folder / "a"));
    QCOMPARE(picker.Directory(), QString::fromStdString(chosen));
    QCOMPARE(picker.UncDirectory(), QString());
    QCOMPARE(QDir::currentPath(), QString::fromStdString(chosen));
    QCOMPARE(shown, 1);
    QCOMPARE(closed, 1);

    // NoChangeDir leaves the current folder.
    QDir::setCurrent(start);
    picker.NoChangeDir = true;
    script.ChooseFolder(folder / "a");
    QVERIFY(picker.Execute());
    QCOMPARE(picker.Directory(), QString::fromStdString(folder / "a"));
    QCOMPARE(QDir::currentPath(), start);

    // Cancel: false and both results empty.
    script.Cancel();
    QVERIFY(!picker.Execute());
    QCOMPARE(picker.Directory(), QString());
    QCOMPARE(picker.UncDirectory(), QString());

    // An empty initial folder opens in the current folder.
    picker.InitialDirectory.clear();
    script.Cancel();
    QVERIFY(!picker.Execute());
    QCOMPARE(script.seen.back().directory, start);
    QCOMPARE(NetworkFormOf(QString::fromStdString(folder.Path())), QString());
}

void WindowsTest::workView() {
    test::TempFolder folder;
    State().workFolder = folder / "work";
    BuildWorkTree();
    // What Qt writes, as an outside editor would: its 24-bit BMP of the
    // slot's size is taken, one of another size and a PNG under an icon's
    // ".gif" name are marked, and still listed.
    State().rawConversionEnabled = true;
    test::WriteAll(State().binary1Dir + "/CG15.bin",
                   samples::BuildDrmCodeGroup(samples::SmallExtendedPlan(3)));
    QVERIFY(DrmDecompile(FoldersOf(1)).Done());
    const QString icons = QString::fromStdString(State().icons1Dir);
    QVERIFY(QImage(40, 30, QImage::Format_RGB888).save(icons + "/2.bmp", "BMP"));
    QVERIFY(QImage(5, 3, QImage::Format_RGB888).save(icons + "/1.bmp", "BMP"));
    QVERIFY(QImage(4, 4, QImage::Format_RGB888).save(icons + "/3.gif", "PNG"));
    const WorkView view = ListWorkItems(1);
    QVERIFY(view.error.empty());
    QCOMPARE(view.items.size(), std::size_t(5));
    QCOMPARE(view.items[0].fault, WorkFault::SizeChanged);
    QCOMPARE(view.items[0].fileWidth, 5);
    QCOMPARE(view.items[1].fault, WorkFault::None);
    QCOMPARE(view.items[2].fault, WorkFault::NotGifOrBmp);
    QCOMPARE(view.items[2].path, State().icons1Dir + "/3.gif");
    QCOMPARE(view.items[2].problem,
             std::string("3.gif: a PNG picture; this DRM's own icons are each a GIF picture or "
                         "a BMP picture: save it as one of those."));
}

// The window's place kept and read back (in Qt's test settings, not the
// user's), and a place off every screen brought back onto one.
void WindowsTest::windowPlace() {
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QStringLiteral("Zantrel"), QStringLiteral("Zantrel")).clear();
    QWidget window;
    QVERIFY(!RestoreWindowPlace(window));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    window.setGeometry(screen.x() + 30, screen.y() + 40, 500, 350);
    SaveWindowPlace(window);
    QWidget again;
    QVERIFY(!RestoreWindowPlace(again));
    QCOMPARE(again.geometry(), QRect(screen.x() + 30, screen.y() + 40, 500, 350));
    window.setGeometry(-30000, -30000, 500, 350);
    SaveWindowPlace(window);
    RestoreWindowPlace(again);
    QVERIFY(screen.contains(again.geometry()));
    QSettings(QStringLiteral("Zantrel"), QStringLiteral("Zantrel")).clear();
}

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
