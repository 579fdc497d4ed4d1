// zantrel-bench-winwindow: the Windows window's second run at the largest
// DRM, as zantrel-bench-window times the Qt window.
//
//   zantrel-bench-winwindow prepare FILE   the raw image of 2,999 items
//   zantrel-bench-winwindow run            in a start folder whose session
//                                          holds it: the window made, shown,
//                                          then scrolled page by page
//
// "run" prints the seconds to the first painted screen of thumbnails, to
// every item checked, to the last screen after then scrolling through them
// all, and the peak working set in KiB; it fails when the window shows no
// thumbnails.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>

#include "win/modal.h"
#include "win/sdimain.h"

#include "largest.h"

namespace {

using namespace zantrel;
using namespace zantrel::bench;

// The messages waiting, handled.
void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Messages handled until the grid has painted what it shows.
void PaintNow(HWND grid) {
    UpdateWindow(grid);
    Pump();
}

int Run() {
    Seconds();
    // A box at start would wait for a person: said and failed instead.
    bool boxed = false;
    SetModalRunner([&](Modal& modal) {
        std::fwprintf(stderr, L"zantrel-bench-winwindow: a dialog: %ls\n", modal.text.c_str());
        boxed = true;
        return IDCANCEL;
    });
    const auto form = CreateAppWindows();
    SetWindowPos(form->Handle(), nullptr, 0, 0, 820, 600, SWP_NOMOVE | SWP_NOZORDER);
    ShowWindow(form->Handle(), SW_SHOW);
    HWND grid = form->Thumbnails;
    // The first screen painted; the checks the window goes on with after it
    // are not waited for here.
    RedrawWindow(form->Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const double first = Seconds();
    const int count = ListView_GetItemCount(grid);
    if (boxed || count < Pictures + Icons || form->DecodedThumbnails() == 0) {
        std::fprintf(stderr, "zantrel-bench-winwindow: the window shows %d thumbnails, %d drawn\n",
                     count, form->DecodedThumbnails());
        return 1;
    }
    // Usable: every item checked, the window answering all along.
    while (form->Checking()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        Pump();
    }
    const double checked = Seconds();
    for (;;) {
        SCROLLINFO bar{};
        bar.cbSize = sizeof bar;
        bar.fMask = SIF_ALL;
        GetScrollInfo(grid, SB_VERT, &bar);
        if (bar.nPos + static_cast<int>(bar.nPage) > bar.nMax)
            break;
        SendMessageW(grid, WM_VSCROLL, SB_PAGEDOWN, 0);
        PaintNow(grid);
        const int was = bar.nPos;
        GetScrollInfo(grid, SB_VERT, &bar);
        if (bar.nPos == was)
            break;
    }
    const double all = Seconds();
    if (form->DecodedThumbnails() < count) {
        std::fprintf(stderr, "zantrel-bench-winwindow: %d of %d thumbnails drawn\n",
                     form->DecodedThumbnails(), count);
        return 1;
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf("%.3f %.3f %.3f %zu\n", first, checked, all, memory.PeakWorkingSetSize / 1024);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return WindowBenchMain(argc, argv, "zantrel-bench-winwindow", [&] { return Run(); });
}
