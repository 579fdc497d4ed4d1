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
// painted screen of thumbnails, to the last screen painted after scrolling
// through them all, and the process's peak resident KiB. It fails (exit 1)
// when the window shows no thumbnails, so a blank window never shows up as a
// fast one.
#include <sys/resource.h>

#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "base/fileio.h"

#include "ui/modal.h"
#include "ui/sdimain.h"

#include "tools/drmbuilder.h"

namespace {

using namespace zantrel;
using namespace zantrel::samples;
using Clock = std::chrono::steady_clock;

// From the process's start: bench/run.sh passes the time it started it
// (seconds since the epoch) in ZANTREL_BENCH_START, so loading counts too.
double Seconds() {
    static const Clock::time_point started = Clock::now();
    static const double before = [] {
        const char* given = std::getenv("ZANTREL_BENCH_START");
        if (!given)
            return 0.0;
        const double now =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        return std::max(0.0, now - std::atof(given));
    }();
    return before + std::chrono::duration<double>(Clock::now() - started).count();
}

constexpr int Pictures = 999;
constexpr int Icons = 2000;

void Prepare(const std::string& path) {
    DrmPlan plan;
    plan.extended = true;
    plan.prefix = true;
    plan.tag = TagVariant::At464;
    // One picture in eight a full screen, the rest the size of a menu's art.
    for (int k = 0; k < Pictures; ++k) {
        const auto seed = static_cast<std::uint8_t>(k);
        plan.pictures.push_back(k % 8 == 0
                                    ? SamplePicture(176, 220, seed, true, 0)
                                    : SamplePicture(48 + k % 40, 40 + k % 24, seed, k % 2 == 0, 0));
    }
    for (int i = 0; i < Icons; ++i) {
        const auto seed = static_cast<std::uint8_t>(i);
        const int side = 8 + (i * 5) % 33;
        plan.icons.push_back(i % 3 == 2 ? BmpIcon(side + 1, side, seed)
                                        : GifIcon(side, side + 2, seed));
    }
    BinaryFile file = BinaryFile::Create(path);
    WriteDrmCodeGroup(plan, [&](std::span<const std::uint8_t> bytes) { file.Write(bytes); });
    file.Close();
}

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
    std::printf("%.3f %.3f %ld\n", first, all, usage.ru_maxrss);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 3 && std::strcmp(argv[1], "prepare") == 0) {
            Prepare(argv[2]);
            return 0;
        }
        if (argc == 2 && std::strcmp(argv[1], "run") == 0)
            return Run(argc, argv);
        std::fprintf(stderr, "usage: zantrel-bench-window prepare FILE | run\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zantrel-bench-window: %s\n", e.what());
        return 1;
    }
}
