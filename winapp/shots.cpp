// Photographs the window program's windows for the documentation: creates
// them exactly as the program does, in the current folder as start folder,
// shows each and saves what the screen shows of it as PNG.
//   zantrel-shots MAIN.png [SETTINGS.png ABOUT.png FOLDER.png]
//   zantrel-shots MAIN.png --edits MENU.png DROP.png PICTURE IMPORT.png FOLDER HELP.png
// --edits, in a second run: the first thumbnail's menu open over the main
// window, the question PICTURE dropped on the sixth thumbnail (an icon) asks, and
// Import's summary for FOLDER (both questions are answered Cancel), and
// the help page.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <wincodec.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "win/about.h"
#include "win/about1.h"
#include "win/modal.h"
#include "win/resource.h"
#include "win/sdimain.h"

namespace {

using namespace zantrel;

void Settle(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    MSG msg{};
    while (GetTickCount64() < end) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(20);
    }
}

bool SavePng(HWND window, const wchar_t* path) {
    RECT rect{};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    bool ok = false;
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromFilename(path, GENERIC_WRITE)) &&
        SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
        SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
        SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) &&
        SUCCEEDED(frame->Initialize(nullptr)) &&
        SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
        SUCCEEDED(frame->SetPixelFormat(&format)) &&
        SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width) * 4,
                                     static_cast<UINT>(width * height * 4),
                                     static_cast<BYTE*>(bits))) &&
        SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit()))
        ok = true;
    for (IUnknown* object : std::initializer_list<IUnknown*>{frame, encoder, stream, factory})
        if (object)
            object->Release();
    DeleteObject(bitmap);
    if (!ok)
        std::fwprintf(stderr, L"zantrel-shots: cannot write %ls\n", path);
    return ok;
}

bool Shoot(HWND window, const wchar_t* path) {
    // The pointer out of the way: nothing drawn as hovered.
    SetCursorPos(1279, 1023);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    UpdateWindow(window);
    Settle(800);
    return SavePng(window, path);
}

// A dialog that runs modally (the folder picker, a question, the help page):
// a timer photographs it and cancels it.
std::wstring g_dialogShot;
bool g_dialogOk = false;
std::wstring g_importFolder;
HWND g_main = nullptr;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (IsWindowVisible(window) && std::wstring(name) == L"#32770") {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK ShootDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog)
        return;
    g_dialogOk = SavePng(dialog, g_dialogShot.c_str());
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

// The menu is open: what the screen shows of the main window, then closed.
void CALLBACK ShootMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    g_dialogOk = SavePng(g_main, g_dialogShot.c_str());
    EndMenu();
}

// The three shots of the editing commands; false when one failed.
bool ShootEdits(TSDIAppForm& form, wchar_t* argv[]) {
    g_main = form.Handle();
    bool ok = true;
    RECT item{};
    ListView_GetItemRect(form.Thumbnails, 0, &item, LVIR_ICON);
    POINT at{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ClientToScreen(form.Thumbnails, &at);
    g_dialogShot = argv[3];
    g_dialogOk = false;
    SetTimer(nullptr, 0, 1500, ShootMenu);
    SendMessageW(form.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(form.Thumbnails),
                 MAKELPARAM(at.x, at.y));
    ok = g_dialogOk && ok;

    // The questions as the real boxes, photographed by a timer and cancelled;
    // the folder picker answered with the folder.
    SetModalRunner([](Modal& modal) {
        if (modal.kind == ModalKind::Folder) {
            modal.fileName = g_importFolder;
            return IDOK;
        }
        if (modal.kind == ModalKind::Box)
            SetTimer(nullptr, 0, 1500, ShootDialog);
        return ShowModal(modal);
    });
    g_dialogShot = argv[4];
    g_dialogOk = false;
    form.DropOnThumbnailAt(argv[5], 5);
    ok = g_dialogOk && ok;
    g_dialogShot = argv[6];
    g_importFolder = argv[7];
    g_dialogOk = false;
    SendMessageW(form.Handle(), WM_COMMAND, CommandId(MenuItem::FileImportItem), 0);
    ok = g_dialogOk && ok;
    SetModalRunner({});
    return ok;
}

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    const bool edits = argc == 9 && std::wcscmp(argv[2], L"--edits") == 0;
    if (argc != 2 && argc != 5 && !edits) {
        std::fwprintf(stderr,
                      L"usage: zantrel-shots MAIN.png [SETTINGS.png ABOUT.png FOLDER.png]\n"
                      L"       zantrel-shots MAIN.png --edits MENU.png DROP.png PICTURE IMPORT.png "
                      L"FOLDER HELP.png\n");
        return 2;
    }
    const auto form = CreateAppWindows();
    if (!form->IsOpen() || !form->SettingsDialog()) {
        std::fwprintf(stderr, L"zantrel-shots: the main window did not open\n");
        return 1;
    }
    SetWindowPos(form->Handle(), nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    bool ok = Shoot(form->Handle(), argv[1]);
    if (edits) {
        ok = ShootEdits(*form, argv) && ok;
        // Help > How Zantrel Works: the real box, photographed and closed.
        SetModalRunner([](Modal& modal) {
            if (modal.kind == ModalKind::Page)
                SetTimer(nullptr, 0, 1500, ShootDialog);
            return ShowModal(modal);
        });
        g_dialogShot = argv[8];
        g_dialogOk = false;
        SendMessageW(form->Handle(), WM_COMMAND, CommandId(MenuItem::HelpHowItem), 0);
        ok = g_dialogOk && ok;
        SetModalRunner({});
    }
    if (argc == 5) {
        TAboutBox1& settings = *form->SettingsDialog();
        ok = Shoot(settings.Handle(), argv[2]) && ok;
        ShowWindow(settings.Handle(), SW_HIDE);
        ok = Shoot(form->AboutBox()->Handle(), argv[3]) && ok;
        ShowWindow(form->AboutBox()->Handle(), SW_HIDE);
        // The picker as the settings open it: its box ticked, in the work folder.
        g_dialogShot = argv[4];
        SetModalRunner([](Modal& modal) {
            if (modal.kind == ModalKind::Folder)
                SetTimer(nullptr, 0, 2500, ShootDialog);
            return ShowModal(modal);
        });
        SendMessageW(settings.CheckBox3, BM_CLICK, 0, 0);
        SetModalRunner({});
        ok = g_dialogOk && ok;
    }
    return ok ? 0 : 1;
}
