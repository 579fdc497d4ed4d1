// Photographs the windows for the documentation: creates them exactly as the
// program does, in the current folder as start folder, and saves each as PNG.
//   zantrel-shots MAIN.png [SETTINGS.png ABOUT.png]
#include <cstdio>

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QWidget>

#include "ui/about.h"
#include "ui/about1.h"
#include "ui/sdimain.h"

namespace {

void Settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

bool Save(QWidget& window, const char* path) {
    window.show();
    window.raise();
    Settle();
    if (!window.grab().save(QString::fromLocal8Bit(path), "PNG")) {
        std::fprintf(stderr, "zantrel-shots: cannot write %s\n", path);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: zantrel-shots MAIN.png [SETTINGS.png ABOUT.png]\n");
        return 2;
    }
    const auto form = zantrel::CreateAppWindows();
    form->resize(760, 540);
    bool ok = Save(*form, argv[1]);
    if (argc == 4) {
        ok = Save(*form->SettingsDialog(), argv[2]) && ok;
        form->SettingsDialog()->hide();
        ok = Save(*form->AboutBox(), argv[3]) && ok;
        form->AboutBox()->hide();
    }
    return ok ? 0 : 1;
}
