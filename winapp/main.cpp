// The window program: the main window (whose creation runs the start-up),
// the settings dialog and the About box, then the message loop until the
// main window closes.
#include <windows.h>

#include "win/sdimain.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    const auto form = zantrel::CreateAppWindows();
    if (!form->IsOpen())
        return 1;
    ShowWindow(form->Handle(), show);
    UpdateWindow(form->Handle());
    return zantrel::RunMessageLoop(*form);
}
