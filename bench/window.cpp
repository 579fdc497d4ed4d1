// zantrel-bench-window: the Qt window's second run at the largest DRM.
//
//   zantrel-bench-window prepare FILE   writes a raw code-group image whose
//                                       DRM holds 2,999 items (999 pictures,
//                                       2,000 GIF and BMP icons)
//   zantrel-bench-window run            in a start folder whose session holds
//                                       that image: the window as the program
//                                       makes it, shown, then scrolled page by
//                                       page to its end
//
// "run" prints one line: the seconds from the process's start to the first
// painted screen of thumbnails, to every item checked, to the last screen
// painted after then scrolling through them all, and the process's peak
// resident KiB. It fails (exit 1)
// when the window shows no thumbnails, so a blank window never shows up as a
// fast one.
#include <sys/resource.h>

#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/modal.h"
#include "ui/sdimain.h"

#include "largest.h"

namespace {

using namespace zantrel;
using namespace zantrel::bench;

// Events handled until the grid's viewport has painted.
void PaintNow(QListWidget* grid) {
    grid->viewport()->repaint();
    QApplication::processEvents();
}

int Run(int argc, char** argv) {
    Seconds();
    QApplication app(argc, argv);
    // A box at start (another run holding the folder, a damaged session)
    // would wait for a person: said and failed instead.
    bool boxed = false;
    SetModalRunner([&](QDialog& dialog) {
        const auto* box = qobject_cast<QMessageBox*>(&dialog);
        std::fprintf(stderr, "zantrel-bench-window: a dialog: %s\n",
                     box ? box->text().toLocal8Bit().constData() : "");
        boxed = true;
        return int(QDialog::Rejected);
    });
    const auto form = CreateAppWindows();
    form->resize(820, 600);
    form->show();
    QListWidget* grid = form->Thumbnails;
    PaintNow(grid);
    const double first = Seconds();
    if (boxed || grid->count() < Pictures + Icons || form->DecodedThumbnails() == 0) {
        std::fprintf(stderr, "zantrel-bench-window: the window shows %d thumbnails, %d drawn\n",
                     static_cast<int>(grid->count()), form->DecodedThumbnails());
        return 1;
    }
    // Usable: every item checked, the window answering all along.
    while (form->Checking())
        QApplication::processEvents();
    const double checked = Seconds();
    QScrollBar* bar = grid->verticalScrollBar();
    while (bar->value() < bar->maximum()) {
        bar->setValue(bar->value() + bar->pageStep());
        PaintNow(grid);
    }
    const double all = Seconds();
    if (form->DecodedThumbnails() < grid->count()) {
        std::fprintf(stderr, "zantrel-bench-window: %d of %d thumbnails drawn\n",
                     form->DecodedThumbnails(), static_cast<int>(grid->count()));
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.3f %.3f %.3f %ld\n", first, checked, all, usage.ru_maxrss);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return WindowBenchMain(argc, argv, "zantrel-bench-window", [&] { return Run(argc, argv); });
}
