// Photographs the windows for the documentation: creates them exactly as the
// program does, in the current folder as start folder, and saves each as PNG.
//   zantrel-shots [--main F] [--settings F] [--about F]
//                 [--port-question F] [--port-error F]
//                 [--item-menu F] [--drop-question F --drop PICTURE]
//                 [--import-summary F --import FOLDER] [--help-page F]
// --port-question shows Port's question and answers Cancel; --port-error
// answers OK and photographs the error box the port ends with. --item-menu
// photographs the main window with the first thumbnail's menu open;
// --drop-question the question a picture dropped on the sixth thumbnail (an icon)
// asks, and --import-summary Import's question for the folder; both are
// answered Cancel.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "ui/about.h"
#include "ui/about1.h"
#include "ui/modal.h"
#include "ui/sdimain.h"

namespace {

void Settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

bool Save(QWidget& window, const std::string& path) {
    window.show();
    window.raise();
    Settle();
    if (!window.grab().save(QString::fromLocal8Bit(path.c_str()), "PNG")) {
        std::fprintf(stderr, "zantrel-shots: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    std::map<std::string, std::string> shots;
    for (int i = 1; i + 1 < argc; i += 2)
        shots[argv[i]] = argv[i + 1];
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: zantrel-shots [--main F] [--settings F] [--about F] "
                             "[--port-question F] [--port-error F] [--item-menu F] "
                             "[--drop-question F --drop PICTURE] "
                             "[--import-summary F --import FOLDER] [--help-page F]\n");
        return 2;
    }
    const auto form = zantrel::CreateAppWindows();
    form->resize(820, 600);
    bool ok = true;
    if (shots.count("--main"))
        ok = Save(*form, shots["--main"]) && ok;
    if (shots.count("--settings")) {
        ok = Save(*form->SettingsDialog(), shots["--settings"]) && ok;
        form->SettingsDialog()->hide();
    }
    if (shots.count("--about")) {
        ok = Save(*form->AboutBox(), shots["--about"]) && ok;
        form->AboutBox()->hide();
    }
    for (const char* which : {"--port-question", "--port-error"}) {
        if (!shots.count(which))
            continue;
        form->show();
        Settle();
        const bool question = std::strcmp(which, "--port-question") == 0;
        zantrel::SetModalRunner([&](QDialog& dialog) {
            auto* box = qobject_cast<QMessageBox*>(&dialog);
            const bool wanted = box && (question ? box->icon() == QMessageBox::Question
                                                 : box->icon() == QMessageBox::Critical);
            if (wanted) {
                ok = Save(dialog, shots[which]) && ok;
                dialog.hide();
            }
            return question && wanted ? int(QMessageBox::Cancel) : int(QMessageBox::Ok);
        });
        form->Choose(zantrel::MenuItem::Port1);
        zantrel::SetModalRunner({});
    }
    if (shots.count("--item-menu")) {
        form->show();
        Settle();
        QListWidget* grid = form->Thumbnails;
        const QRect first = grid->visualItemRect(grid->item(0));
        std::unique_ptr<QMenu> menu(form->ThumbnailMenu(1, 0));
        menu->popup(grid->viewport()->mapToGlobal(first.center()));
        Settle();
        // The menu is a window of its own: drawn over the main window where it opened.
        QPixmap shot = form->grab();
        QPainter painter(&shot);
        painter.drawPixmap(form->mapFromGlobal(menu->pos()), menu->grab());
        painter.end();
        menu->hide();
        ok = shot.save(QString::fromLocal8Bit(shots["--item-menu"].c_str()), "PNG") && ok;
    }
    // A question photographed and answered Cancel; a folder dialog answered
    // with folder.
    const auto photographQuestion = [&](const std::string& file, const std::string& folder) {
        zantrel::SetModalRunner([&](QDialog& dialog) {
            if (auto* picker = qobject_cast<QFileDialog*>(&dialog)) {
                picker->setDirectory(QString::fromLocal8Bit(folder.c_str()));
                return int(QDialog::Accepted);
            }
            ok = Save(dialog, file) && ok;
            dialog.hide();
            return int(QMessageBox::Cancel);
        });
    };
    if (shots.count("--drop-question") && shots.count("--drop")) {
        form->show();
        Settle();
        photographQuestion(shots["--drop-question"], {});
        form->DropOnRow(QString::fromLocal8Bit(shots["--drop"].c_str()), 1, 5);
        zantrel::SetModalRunner({});
    }
    if (shots.count("--import-summary") && shots.count("--import")) {
        form->show();
        Settle();
        photographQuestion(shots["--import-summary"], shots["--import"]);
        form->Choose(zantrel::MenuItem::FileImportItem);
        zantrel::SetModalRunner({});
    }
    if (shots.count("--help-page")) {
        form->show();
        Settle();
        zantrel::SetModalRunner([&](QDialog& dialog) {
            ok = Save(dialog, shots["--help-page"]) && ok;
            dialog.hide();
            return int(QDialog::Accepted);
        });
        form->Choose(zantrel::MenuItem::HelpHowItem);
        zantrel::SetModalRunner({});
    }
    return ok ? 0 : 1;
}
