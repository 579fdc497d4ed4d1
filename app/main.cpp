// The window program: the main window (whose creation runs the start-up),
// the settings dialog and the About box, then the event loop until the main
// window closes.
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "ui/place.h"
#include "ui/sdimain.h"

namespace {

// help2man makes the manual page from these two.
const char* const HelpText = R"(Usage: zantrel [OPTION] [FILE]

Takes the DRM (the icons and pictures of a phone's flash) out of a superfile
(.shx), an SBF file (.sbf) or a raw code-group image into a work folder of
plain files, and compiles the edited files back into a new flash file.

The work is spread over two runs. The first opens the flash file and
decompiles it; the second shows the icons and pictures and offers Save As
(and Port, when a second file was opened). The current folder is the start
folder: it holds the settings file "zantrel.ini" and, between the two runs,
the session file "shxdata.dat".

FILE, a flash file, is Open's first file in a first run: Zantrel goes on
with the second question. In a second run Zantrel says that a session is
pending and what it holds, and opens nothing.

In the second run the icons and pictures can also be edited inside Zantrel:
Replace (a thumbnail's menu, or a picture dropped on it) takes an item from
a PNG, JPEG, GIF, BMP or TGA picture, fitted to its slot; Restore Original
(a thumbnail's menu) and File > Restore All Originals put items back as
Open wrote them; File > Import Pictures reads back a folder of pictures
named by number, leaving out those it cannot read; File > Export Pictures
as PNG writes every item as N.png; File > Export Contact Sheet draws one PNG
of every item. Help > How Zantrel Works (F1) shows a page on all of it.

Options:
  -h, --help     Prints this help and exits.
  -V, --version  Prints the program's name and version and exits.

zantrel-cli is the console program, with the same commands.
)";

} // namespace

int main(int argc, char* argv[]) {
    // Answered before QApplication, which needs a display.
    if (argc == 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
        std::fputs(HelpText, stdout);
        return 0;
    }
    if (argc == 2 && (!std::strcmp(argv[1], "-V") || !std::strcmp(argv[1], "--version"))) {
        std::puts("zantrel " ZANTREL_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    // Qt has taken its own options out; what is left is at most one flash file.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() == 2 && arguments[1].startsWith('-')) {
        std::fprintf(stderr, "zantrel: unknown option %s; zantrel --help tells more.\n",
                     arguments[1].toLocal8Bit().constData());
        return 2;
    }
    if (arguments.size() > 2) {
        std::fputs("zantrel: give at most one flash file; zantrel --help tells more.\n", stderr);
        return 2;
    }
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zantrel.png")));
    // Wayland takes the icon from the menu entry this names, not from the window.
    QApplication::setDesktopFileName(QStringLiteral("zantrel"));
    const auto form = zantrel::CreateAppWindows();
    // Start-up ended the run (another Zantrel works in this folder).
    if (form->CloseRequested())
        return 1;
    if (zantrel::RestoreWindowPlace(*form))
        form->showMaximized();
    else
        form->show();
    if (arguments.size() == 2)
        // Once the window shows, as a file dropped on it; the start folder stays this one.
        QTimer::singleShot(0, form.get(),
                           [&form, file = QFileInfo(arguments[1]).absoluteFilePath()] {
                               form->OpenDropped(file);
                           });
    const int status = app.exec();
    zantrel::SaveWindowPlace(*form);
    return status;
}
