// The window program: the main window (whose creation runs the start-up),
// the settings dialog and the About box, then the event loop until the main
// window closes.
#include <QApplication>
#include <QIcon>

#include "ui/sdimain.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zantrel.png")));
    // Wayland takes the icon from the menu entry this names, not from the window.
    QApplication::setDesktopFileName(QStringLiteral("zantrel"));
    const auto form = zantrel::CreateAppWindows();
    // Start-up ended the run (another Zantrel works in this folder).
    if (form->CloseRequested())
        return 1;
    form->show();
    return app.exec();
}
