// The Windows window program driven through its menu, with every modal
// dialog answered through the modal seam instead of a real modal loop.
#include <windows.h>
#include <commctrl.h>
#include <shobjidl.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>

#include "base/paths.h"
#include "base/unicode.h"

#include "imaging/picture.h"

#include "shell/help.h"
#include "shell/state.h"

#include "win/about.h"
#include "win/about1.h"
#include "win/modal.h"
#include "win/place.h"
#include "win/resource.h"
#include "win/sdimain.h"

#include "support/tempfolder.h"
#include "support/unwind.h"
#include "tools/drmbuilder.h"

using namespace zantrel;

namespace {

// Answers the dialogs in turn; message boxes are answered with OK unless an
// answer waits. A dialog without an answer is cancelled.
struct Script {
    std::vector<Modal> seen;
    std::deque<std::function<int(Modal&)>> answers;

    Script() {
        SetModalRunner([this](Modal& modal) { return Run(modal); });
    }
    ~Script() { SetModalRunner({}); }

    int Run(Modal& modal) {
        seen.push_back(modal);
        if (answers.empty())
            return modal.kind == ModalKind::Box ? IDOK : IDCANCEL;
        auto answer = std::move(answers.front());
        answers.pop_front();
        return answer(modal);
    }
    void Choose(const std::string& path, int filterIndex = 0) {
        answers.push_back([path, filterIndex](Modal& m) {
            m.fileName = WideFromUtf8(path);
            if (filterIndex)
                m.filterIndex = filterIndex;
            return IDOK;
        });
    }
    void Answer(int button) {
        answers.push_back([button](Modal&) { return button; });
    }
    void PickColour(COLORREF colour) {
        answers.push_back([colour](Modal& m) {
            m.colour = colour;
            return IDOK;
        });
    }
    std::vector<Modal> Boxes() const {
        std::vector<Modal> boxes;
        for (const Modal& m : seen)
            if (m.kind == ModalKind::Box)
                boxes.push_back(m);
        return boxes;
    }
};

// A run of the program in the test's start folder; no window (no display)
// ends the test.
std::unique_ptr<TSDIAppForm> StartRun() {
    ResetState();
    auto form = CreateAppWindows();
    if (!form->IsOpen())
        throw std::runtime_error("the main window was not created");
    return form;
}

void Choose(TSDIAppForm& form, MenuItem item) {
    SendMessageW(form.Handle(), WM_COMMAND, CommandId(item), 0);
}

bool Enabled(const TSDIAppForm& form, MenuItem item) {
    return !(GetMenuState(form.Menu, static_cast<UINT>(CommandId(item)), MF_BYCOMMAND) & MF_GRAYED);
}

// The items enabled, in menu order.
std::vector<MenuItem> EnabledItems(const TSDIAppForm& form) {
    using enum MenuItem;
    std::vector<MenuItem> on;
    for (MenuItem item :
         {FileOpenItem, Port1, FileSaveAsItem, FileDiscardItem, FileOpenWorkFolderItem,
          FileExitItem, ViewRefreshItem, Settings1, HelpAboutItem})
        if (Enabled(form, item))
            on.push_back(item);
    return on;
}

bool Shown(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

bool Ticked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::wstring TextOf(HWND window) {
    wchar_t buffer[1024] = {};
    GetWindowTextW(window, buffer, 1024);
    return buffer;
}

std::wstring MenuText(HMENU menu, UINT position) {
    wchar_t buffer[128] = {};
    GetMenuStringW(menu, position, buffer, 128, MF_BYPOSITION);
    return buffer;
}

} // namespace

// The window's place kept and read back (under a test key, not the
// program's), and a place off every screen brought back onto one.
TEST(WinWindow, ThePlaceIsKeptAndBroughtBackOnScreen) {
    const wchar_t* const key = L"Software\\Zantrel-test";
    RegDeleteTreeW(HKEY_CURRENT_USER, key);
    EXPECT_FALSE(ReadWindowPlace(key).has_value());
    const WindowPlace kept{{-50, 60, 700, 500}, true};
    WriteWindowPlace(kept, key);
    EXPECT_EQ(ReadWindowPlace(key), kept);
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, nullptr, nullptr);
    WriteWindowPlace({{-30000, -30000, 700, 500}, false}, key);
    EXPECT_EQ(RestoreWindowPlace(window, SW_SHOWNORMAL, key), SW_SHOWNORMAL);
    RECT placed{};
    GetWindowRect(window, &placed);
    EXPECT_NE(MonitorFromRect(&placed, MONITOR_DEFAULTTONULL), nullptr);
    EXPECT_EQ(placed.right - placed.left, 700);
    WriteWindowPlace(kept, key);
    EXPECT_EQ(RestoreWindowPlace(window, SW_SHOWNORMAL, key), SW_SHOWMAXIMIZED);
    DestroyWindow(window);
    RegDeleteTreeW(HKEY_CURRENT_USER, key);
}

TEST(WinWindow, FreshRun) {
    test::TempFolder folder;
    Script script;
    auto form = StartRun();
    EXPECT_EQ(TextOf(form->Handle()), L"Zantrel");

    // The captions, with the shortcuts the accelerator table carries out.
    const std::vector<std::wstring> top = {L"&File", L"&Edit", L"&View", L"&Settings", L"&Help"};
    ASSERT_EQ(GetMenuItemCount(form->Menu), 5);
    for (UINT i = 0; i < 5; ++i)
        EXPECT_EQ(MenuText(form->Menu, i), top[i]);
    const std::vector<std::wstring> file = {L"&Open\tCtrl+O",
                                            L"&Port\tCtrl+P",
                                            L"Save &As...\tCtrl+S",
                                            L"&Discard Session...",
                                            L"Open &Work Folder",
                                            L"",
                                            L"&Import Pictures...",
                                            L"&Export Pictures as PNG...",
                                            L"Export &Contact Sheet...",
                                            L"&Restore All Originals...",
                                            L"",
                                            L"E&xit"};
    HMENU fileMenu = GetSubMenu(form->Menu, 0);
    ASSERT_EQ(GetMenuItemCount(fileMenu), 12);
    for (UINT i = 0; i < 12; ++i)
        EXPECT_EQ(MenuText(fileMenu, i), file[i]);
    EXPECT_EQ(MenuText(GetSubMenu(form->Menu, 1), 0), L"&Undo\tCtrl+Z");
    EXPECT_EQ(MenuText(GetSubMenu(form->Menu, 1), 1), L"&Redo\tCtrl+Y");
    EXPECT_EQ(MenuText(GetSubMenu(form->Menu, 2), 0), L"&Refresh\tF5");
    EXPECT_EQ(MenuText(GetSubMenu(form->Menu, 4), 0), L"&How Zantrel Works\tF1");
    EXPECT_EQ(MenuText(GetSubMenu(form->Menu, 4), 1), L"&About...");
    ACCEL keys[12] = {};
    ASSERT_EQ(CopyAcceleratorTableW(form->Shortcuts(), keys, 12), 8);
    EXPECT_EQ(keys[0].key, 'O');
    EXPECT_EQ(keys[0].cmd, CommandId(MenuItem::FileOpenItem));
    EXPECT_EQ(keys[0].fVirt & (FCONTROL | FVIRTKEY), FCONTROL | FVIRTKEY);
    EXPECT_EQ(keys[2].cmd, CommandId(MenuItem::FileSaveAsItem));
    EXPECT_EQ(keys[3].key, 'Z');
    EXPECT_EQ(keys[3].cmd, CommandId(MenuItem::EditUndoItem));
    EXPECT_EQ(keys[5].key, 'Z');
    EXPECT_EQ(keys[5].fVirt & FSHIFT, FSHIFT);
    EXPECT_EQ(keys[5].cmd, CommandId(MenuItem::EditRedoItem));
    EXPECT_EQ(keys[6].key, VK_F5);
    EXPECT_EQ(keys[7].key, VK_F1);
    EXPECT_EQ(keys[7].cmd, CommandId(MenuItem::HelpHowItem));

    // Fresh run: Open, Exit, Settings and About only; a shortcut of a greyed
    // item does nothing.
    EXPECT_EQ(EnabledItems(*form),
              (std::vector<MenuItem>{MenuItem::FileOpenItem, MenuItem::FileExitItem,
                                     MenuItem::Settings1, MenuItem::HelpAboutItem}));
    SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(CommandId(MenuItem::FileSaveAsItem), 1), 0);
    EXPECT_TRUE(script.seen.empty());
    EXPECT_TRUE(Shown(form->HintLabel));
    EXPECT_FALSE(Shown(form->Thumbnails));

    // The hint of the item under the pointer while the menu is open.
    SendMessageW(form->Handle(), WM_MENUSELECT,
                 MAKEWPARAM(CommandId(MenuItem::FileExitItem), MF_STRING),
                 reinterpret_cast<LPARAM>(fileMenu));
    EXPECT_EQ(form->MenuHint(), L"Exit utility");
    SendMessageW(form->Handle(), WM_MENUSELECT, MAKEWPARAM(0, MF_POPUP),
                 reinterpret_cast<LPARAM>(form->Menu));
    EXPECT_EQ(form->MenuHint(), L"Operation commands");
    SendMessageW(form->Handle(), WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_EQ(form->MenuHint(), L"");

    // The progress bar: hidden and disabled until shown; over 100 is full.
    EXPECT_FALSE(Shown(form->ProgressBar1));
    EXPECT_FALSE(IsWindowEnabled(form->ProgressBar1));
    form->ShowProgress(true);
    EXPECT_TRUE(Shown(form->ProgressBar1));
    EXPECT_TRUE(IsWindowEnabled(form->ProgressBar1));
    form->SetProgress(104);
    EXPECT_EQ(SendMessageW(form->ProgressBar1, PBM_GETPOS, 0, 0), 100);
    form->ShowProgress(false);
    EXPECT_FALSE(Shown(form->ProgressBar1));

    // An empty caption stays empty; one OK button, no icon.
    form->ShowMessage("DRM decompiled.", "", "");
    ASSERT_EQ(script.seen.size(), 1u);
    EXPECT_EQ(script.seen[0].title, L"");
    EXPECT_EQ(script.seen[0].text, L"DRM decompiled.");
    EXPECT_EQ(script.seen[0].style, static_cast<UINT>(MB_OK));

    // The open dialog keeps its filter and file name within the run unless
    // the name is cleared.
    const std::string sbf = folder / "x.sbf";
    script.Choose(sbf, 2);
    const std::string filter = "SHX files|*.shx|SBF files|*.sbf|BIN files|*.bin|SMG files|*.smg";
    EXPECT_EQ(form->AskOpenFile("One", filter, false), std::optional<std::string>(sbf));
    const Modal& first = script.seen.back();
    EXPECT_EQ(first.kind, ModalKind::Open);
    ASSERT_EQ(first.filters.size(), 4u);
    EXPECT_EQ(first.filters[1], std::make_pair(std::wstring(L"SBF files"), std::wstring(L"*.sbf")));
    EXPECT_EQ(first.filterIndex, 1);
    EXPECT_EQ(form->AskOpenFile("Two", filter, false), std::nullopt);
    EXPECT_EQ(script.seen.back().filterIndex, 2);
    EXPECT_EQ(script.seen.back().fileName, L"x.sbf");
    EXPECT_EQ(script.seen.back().folder, WideFromUtf8(folder.Path()));
    EXPECT_EQ(form->AskOpenFile("Three", filter, true), std::nullopt);
    EXPECT_EQ(script.seen.back().fileName, L"");
    script.seen.clear();

    // The help page: the shell's text in a scrolling page; the window stays.
    Choose(*form, MenuItem::HelpHowItem);
    ASSERT_EQ(script.seen.size(), 1u);
    EXPECT_EQ(script.seen[0].kind, ModalKind::Page);
    EXPECT_EQ(script.seen[0].title, L"How Zantrel Works");
    EXPECT_EQ(script.seen[0].text, WideFromUtf8(HowItWorksText));
    EXPECT_TRUE(form->IsOpen());
    script.seen.clear();

    // About: the box created at start, run modally; the window stays.
    script.Answer(IDOK);
    Choose(*form, MenuItem::HelpAboutItem);
    ASSERT_EQ(script.seen.size(), 1u);
    EXPECT_EQ(script.seen[0].kind, ModalKind::About);
    EXPECT_EQ(script.seen[0].window, form->AboutBox()->Handle());
    EXPECT_EQ(TextOf(form->AboutBox()->ProductName), L"Zantrel");
    EXPECT_EQ(TextOf(form->AboutBox()->Version), L"Version 0.3.3 beta");
    EXPECT_EQ(TextOf(form->AboutBox()->Readme),
              L"Read README-Windows.txt (beside zantrel.exe) for more.");
    EXPECT_TRUE(form->IsOpen());

    // Exit in a fresh run: no word, no session file, the window closes.
    Choose(*form, MenuItem::FileExitItem);
    EXPECT_EQ(script.seen.size(), 1u);
    EXPECT_FALSE(form->IsOpen());
    EXPECT_FALSE(test::Exists(folder / "shxdata.dat"));
}

TEST(WinWindow, DroppedFileThenSaveAs) {
    test::TempFolder folder;
    samples::WriteSampleSuperfile(folder / "phone.shx", samples::SmallExtendedPlan(1), 7);
    {
        Script script;
        auto form = StartRun();
        // A drop is the first dialog's answer; the second is cancelled.
        form->OpenDropped(WideFromUtf8(folder / "phone.shx"));
        ASSERT_EQ(script.seen.size(), 2u);
        EXPECT_EQ(script.seen[0].title, L"Open SBF/SHX file to export DRM from (Cancel to skip)");
        EXPECT_EQ(script.seen[1].text, L"DRM decompiled.");
        EXPECT_FALSE(form->IsOpen());
        EXPECT_EQ(test::ReadText(folder / "shxdata.dat"), "1");
    }

    Script script;
    auto form = StartRun();
    EXPECT_EQ(EnabledItems(*form),
              (std::vector<MenuItem>{MenuItem::FileSaveAsItem, MenuItem::FileDiscardItem,
                                     MenuItem::FileOpenWorkFolderItem, MenuItem::FileExitItem,
                                     MenuItem::ViewRefreshItem, MenuItem::HelpAboutItem}));
    EXPECT_EQ(TextOf(form->Handle()), L"phone.shx \u2014 Zantrel");
    // A drop beside the thumbnails in a second run says why it opens nothing.
    form->OpenDropped(WideFromUtf8(folder / "phone.shx"));
    ASSERT_EQ(script.seen.size(), 1u);
    EXPECT_EQ(script.seen[0].text, L"A session is pending, so phone.shx was not opened.");
    EXPECT_TRUE(form->IsOpen());
    script.seen.clear();

    // The session panel and image 1's thumbnails, without tabs for one image.
    ASSERT_FALSE(form->Panel().empty());
    EXPECT_EQ(TextOf(form->Panel()[0].value),
              WideFromUtf8(ShortenMiddle(folder / "phone.shx", PanelPathChars)));
    EXPECT_FALSE(Shown(form->Tabs));
    EXPECT_TRUE(Shown(form->Thumbnails));
    using Texts = std::vector<std::pair<std::wstring, bool>>;
    EXPECT_EQ(form->ThumbnailTexts(), (Texts{{L"1.bmp\n3x2", false},
                                             {L"2.bmp\n40x30", false},
                                             {L"3.gif\n12x10", false},
                                             {L"4.bmp\n9x8", false},
                                             {L"5.gif\n16x16", false}}));
    // Typing a name's start finds the next thumbnail that starts so: the
    // list holds no texts of its own to search.
    LVFINDINFOW find{};
    find.flags = LVFI_STRING | LVFI_PARTIAL;
    find.psz = L"5.G";
    EXPECT_EQ(ListView_FindItem(form->Thumbnails, -1, &find), 4);
    find.psz = L"1.bmp";
    EXPECT_EQ(ListView_FindItem(form->Thumbnails, 1, &find), -1);
    find.flags |= LVFI_WRAP;
    EXPECT_EQ(ListView_FindItem(form->Thumbnails, 1, &find), 0);
    find.psz = L"6.";
    EXPECT_EQ(ListView_FindItem(form->Thumbnails, -1, &find), -1);
    // A picture saved at another size is marked once the view is refreshed.
    const std::string picture = State().icons1Dir + "\\2.bmp";
    const auto original = test::ReadAll(picture);
    test::CopyFileOver(State().icons1Dir + "\\4.bmp", picture);
    SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(CommandId(MenuItem::ViewRefreshItem), 1),
                 0);
    EXPECT_EQ(form->ThumbnailTexts()[1],
              std::make_pair(std::wstring(L"2.bmp\nsize changed: was 40x30"), true));
    // Coming back to the window shows the change undone at once.
    test::WriteAll(picture, original);
    SendMessageW(form->Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
    SendMessageW(form->Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(form->ThumbnailTexts()[1], std::make_pair(std::wstring(L"2.bmp\n40x30"), false));
    // The least size, scaled as the window is.
    MINMAXINFO limits{};
    SendMessageW(form->Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    const UINT dpi = GetDpiForWindow(form->Handle());
    const int scale = dpi ? static_cast<int>(dpi) : 96;
    EXPECT_EQ(limits.ptMinTrackSize.x, MulDiv(MinimumWindowWidth, scale, 96));
    EXPECT_EQ(limits.ptMinTrackSize.y, MulDiv(MinimumWindowHeight, scale, 96));

    // A thumbnail's own menu replaces it from a picture file and restores
    // it; the view follows at once.
    const std::string pictures = folder / "pictures", green = JoinPath(pictures, "green.png");
    std::filesystem::create_directory(PathFromUtf8(pictures));
    WritePngFile(green, FilledPicture(12, 10, 0xFF00C000u));
    script.Choose(green);
    // The grid keeps its place: narrow enough to scroll, scrolled to its end.
    SetWindowPos(form->Handle(), nullptr, 0, 0, MulDiv(MinimumWindowWidth, scale, 96),
                 MulDiv(540, scale, 96), SWP_NOMOVE | SWP_NOZORDER);
    const auto place = [&] { return GetScrollPos(form->Thumbnails, SB_VERT); };
    ListView_Scroll(form->Thumbnails, 0, 10000);
    EXPECT_GT(place(), 0);
    // A notch of the wheel over the list scrolls one row, the window's rule.
    const int row = HIWORD(ListView_GetItemSpacing(form->Thumbnails, FALSE));
    const int end = place();
    SendMessageW(form->Thumbnails, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_EQ(place(), std::max(0, end - row));
    ListView_Scroll(form->Thumbnails, 0, 10000);
    const int scrolled = place();
    form->ChooseForThumbnail(MenuItem::ItemReplaceItem, 2);
    EXPECT_EQ(place(), scrolled);
    ASSERT_FALSE(script.seen.empty());
    ASSERT_GE(script.seen.size(), 2u); // the open dialog, then the question
    EXPECT_EQ(script.seen[script.seen.size() - 2].filters[0].second,
              L"*.png;*.jpg;*.jpeg;*.gif;*.bmp;*.tga");
    EXPECT_EQ(form->ThumbnailTexts()[2].first, L"3.gif\n12x10, edited");
    form->ChooseForThumbnail(MenuItem::ItemRestoreItem, 2);
    EXPECT_EQ(place(), scrolled);
    EXPECT_EQ(form->ThumbnailTexts()[2].first, L"3.gif\n12x10");
    // Dropped on a thumbnail, a picture replaces it after a question that
    // shows the item now and as it would be, side by side.
    form->DropOnThumbnailAt(WideFromUtf8(green), 2);
    EXPECT_EQ(
        script.seen.back().text,
        L"Replace 3.gif with green.png? It is written at 12 \u00D7 10 pixels, the item's size.");
    EXPECT_EQ(script.seen.back().pictureWidth, 356);
    EXPECT_EQ(form->ThumbnailTexts()[2].first, L"3.gif\n12x10, edited");
    form->ChooseForThumbnail(MenuItem::ItemRestoreItem, 2);
    // The thumbnail's menu acts on the item it opened on: while it is open,
    // another program saves a work file and the view is read again; Replace
    // then asks about the clicked item.
    const std::string other = State().icons1Dir + "\\5.gif";
    const auto otherBytes = test::ReadAll(other);
    script.answers.push_back([&](Modal& menu) {
        EXPECT_EQ(menu.kind, ModalKind::Menu);
        test::CopyFileOver(State().icons1Dir + "\\3.gif", other);
        form->RefreshView();
        return CommandId(MenuItem::ItemReplaceItem);
    });
    script.Choose(green);
    RECT third{};
    ListView_GetItemRect(form->Thumbnails, 2, &third, LVIR_ICON);
    POINT at{(third.left + third.right) / 2, (third.top + third.bottom) / 2};
    ClientToScreen(form->Thumbnails, &at);
    // A file dragged over a thumbnail that takes it highlights it while over it.
    form->DragFileOver(at);
    EXPECT_TRUE(ListView_GetItemState(form->Thumbnails, 2, LVIS_DROPHILITED));
    form->DragFileOver({-10000, -10000});
    EXPECT_FALSE(ListView_GetItemState(form->Thumbnails, 2, LVIS_DROPHILITED));
    SendMessageW(form->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(form->Thumbnails),
                 MAKELPARAM(at.x, at.y));
    EXPECT_EQ(
        script.seen.back().text,
        L"Replace 3.gif with green.png? It is written at 12 \u00D7 10 pixels, the item's size.");
    EXPECT_EQ(form->ThumbnailTexts()[2].first, L"3.gif\n12x10, edited");
    form->ChooseForThumbnail(MenuItem::ItemRestoreItem, 2);
    test::WriteAll(other, otherBytes);
    script.seen.clear();

    script.Choose(folder / "out");
    Choose(*form, MenuItem::FileSaveAsItem);
    ASSERT_FALSE(script.seen.empty());
    const Modal& save = script.seen[0];
    EXPECT_EQ(save.kind, ModalKind::Save);
    EXPECT_EQ(save.title, L"Select a file to save DRM reflash");
    ASSERT_EQ(save.filters.size(), 1u);
    EXPECT_EQ(save.filters[0].second, L"*.shx");
    EXPECT_EQ(save.defaultExtension, L"shx");
    // It starts where the last dialog ended, Replace's in the pictures' folder.
    EXPECT_EQ(save.fileName, L"phone-new.shx");
    EXPECT_EQ(save.folder, WideFromUtf8(pictures));
    EXPECT_FALSE(save.options & FOS_OVERWRITEPROMPT);
    ASSERT_EQ(script.Boxes().size(), 1u);
    EXPECT_EQ(script.Boxes()[0].text, L"Operation Complete");
    EXPECT_EQ(script.Boxes()[0].title, L"");
    EXPECT_EQ(form->StatusText(), L"Complete");
    EXPECT_FALSE(form->IsOpen());
    EXPECT_TRUE(test::Exists(folder / "out.shx"));
    EXPECT_TRUE(test::Exists(folder / "out.bin"));
    EXPECT_FALSE(test::Exists(folder / "shxdata.dat"));
}

TEST(WinWindow, PairPortCloseAndDiscard) {
    test::TempFolder folder;
    samples::WriteSampleSuperfile(folder / "a.shx", samples::SmallExtendedPlan(10), 1);
    samples::WriteSampleSuperfile(folder / "b.shx", samples::SmallExtendedPlan(40), 2);
    {
        Script script;
        auto form = StartRun();
        script.Choose(folder / "a.shx");
        script.Choose(folder / "b.shx");
        Choose(*form, MenuItem::FileOpenItem);
        EXPECT_EQ(script.seen[0].title, L"Open SBF/SHX file to edit or import DRM to");
        EXPECT_FALSE(form->IsOpen());
        EXPECT_EQ(test::ReadText(folder / "shxdata.dat"), "2");
    }
    {
        Script script;
        auto form = StartRun();
        EXPECT_EQ(EnabledItems(*form),
                  (std::vector<MenuItem>{MenuItem::Port1, MenuItem::FileSaveAsItem,
                                         MenuItem::FileDiscardItem,
                                         MenuItem::FileOpenWorkFolderItem, MenuItem::FileExitItem,
                                         MenuItem::ViewRefreshItem, MenuItem::HelpAboutItem}));
        EXPECT_TRUE(Shown(form->Tabs));
        EXPECT_EQ(TabCtrl_GetItemCount(form->Tabs), 2);
        wchar_t tab[64] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = tab;
        item.cchTextMax = 64;
        TabCtrl_GetItem(form->Tabs, 1, &item);
        EXPECT_EQ(std::wstring(tab), L"Image 2: b.shx (what Port copies)");
        form->ShowImage(2);
        EXPECT_EQ(form->ThumbnailTexts().size(), 5u);
        form->ShowImage(1);
        // Ctrl+Tab and Ctrl+Shift+Tab go between the images.
        EXPECT_TRUE(form->HandleKey(VK_TAB, true, false));
        EXPECT_EQ(form->ShownImage(), 2);
        EXPECT_TRUE(form->HandleKey(VK_TAB, true, true));
        EXPECT_EQ(form->ShownImage(), 1);
        // Tab leaves the thumbnails for the next control, Shift+Tab comes back.
        SetFocus(form->Thumbnails);
        ASSERT_EQ(GetFocus(), form->Thumbnails);
        EXPECT_TRUE(form->HandleKey(VK_TAB, false, false));
        EXPECT_NE(GetFocus(), form->Thumbnails);
        EXPECT_TRUE(form->HandleKey(VK_TAB, false, true));
        EXPECT_EQ(GetFocus(), form->Thumbnails);

        // Refreshes keep the panel's controls and the fonts they were given.
        const auto fontOf = [](HWND control) {
            return reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
        };
        std::vector<std::pair<HWND, HFONT>> before;
        for (const auto& line : form->Panel())
            before.emplace_back(line.value, fontOf(line.value));
        for (int i = 0; i < 3; ++i)
            form->RefreshView();
        ASSERT_EQ(form->Panel().size(), before.size());
        for (std::size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(form->Panel()[i].value, before[i].first);
            EXPECT_EQ(fontOf(form->Panel()[i].value), before[i].second);
            LOGFONTW font{};
            EXPECT_NE(GetObjectW(before[i].second, sizeof font, &font), 0);
        }

        // Image 2's thumbnail dragged over image 1's tab and dropped on one of
        // its thumbnails is taken into it, asked first.
        const std::string icon = State().icons1Dir + "\\3.gif";
        const auto original = test::ReadAll(icon);
        const auto centre = [&](HWND control, RECT box) {
            POINT at{(box.left + box.right) / 2, (box.top + box.bottom) / 2};
            MapWindowPoints(control, form->Handle(), &at, 1);
            return MAKELPARAM(at.x, at.y);
        };
        form->ShowImage(2);
        NMLISTVIEW begin{};
        begin.hdr = {form->Thumbnails, 0, LVN_BEGINDRAG};
        begin.iItem = 4;
        SendMessageW(form->Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&begin));
        RECT box{};
        TabCtrl_GetItemRect(form->Tabs, 0, &box);
        SendMessageW(form->Handle(), WM_MOUSEMOVE, 0, centre(form->Tabs, box));
        EXPECT_EQ(form->ShownImage(), 1);
        ListView_GetItemRect(form->Thumbnails, 2, &box, LVIR_ICON);
        SendMessageW(form->Handle(), WM_MOUSEMOVE, 0, centre(form->Thumbnails, box));
        EXPECT_TRUE(ListView_GetItemState(form->Thumbnails, 2, LVIS_DROPHILITED));
        SendMessageW(form->Handle(), WM_LBUTTONUP, 0, centre(form->Thumbnails, box));
        ASSERT_FALSE(script.seen.empty());
        EXPECT_EQ(script.seen.back().text, L"Use item 5 of b.shx as 3.gif of a.shx? Fitted to the "
                                           L"icon's size: 3. Everything else stays as it is.");
        EXPECT_NE(test::ReadAll(icon), original);
        Choose(*form, MenuItem::EditUndoItem);
        EXPECT_EQ(test::ReadAll(icon), original);
        script.seen.clear();

        // Port asks, copies image 2's files over image 1's and keeps the window.
        Choose(*form, MenuItem::Port1);
        ASSERT_GE(script.seen.size(), 2u);
        EXPECT_EQ(script.seen[0].style & MB_TYPEMASK, static_cast<UINT>(MB_OKCANCEL));
        EXPECT_EQ(script.seen.back().title, L"Port");
        EXPECT_TRUE(form->IsOpen());
        EXPECT_EQ(test::ReadAll(State().icons1Dir + "\\3.gif"),
                  test::ReadAll(State().icons2Dir + "\\3.gif"));

        // The title-bar button is Exit: the box, and the session kept.
        script.seen.clear();
        SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
        EXPECT_FALSE(form->IsOpen());
        ASSERT_EQ(script.seen.size(), 1u);
        EXPECT_EQ(script.seen[0].text, L"DRM was not compiled");
        EXPECT_EQ(test::ReadText(folder / "shxdata.dat"), "2");
    }
    // Discard asks, ends the session with its work files, says so, and the
    // window is a fresh run's.
    Script script;
    auto form = StartRun();
    Choose(*form, MenuItem::FileDiscardItem);
    ASSERT_EQ(script.seen.size(), 2u);
    EXPECT_EQ(script.seen[0].style & MB_ICONMASK, static_cast<UINT>(MB_ICONQUESTION));
    EXPECT_EQ(script.seen[0].style & MB_DEFMASK, static_cast<UINT>(MB_DEFBUTTON2));
    EXPECT_EQ(script.seen[1].text, L"Session discarded.");
    EXPECT_FALSE(test::Exists(folder / "shxdata.dat"));
    EXPECT_TRUE(test::ListFiles(folder / "binary1").empty());
    EXPECT_TRUE(form->IsOpen());
    EXPECT_EQ(EnabledItems(*form),
              (std::vector<MenuItem>{MenuItem::FileOpenItem, MenuItem::FileExitItem,
                                     MenuItem::Settings1, MenuItem::HelpAboutItem}));
}

TEST(WinWindow, IoFailureKeepsTheWindow) {
    test::TempFolder folder;
    samples::WriteSampleSuperfile(folder / "phone.shx", samples::SmallExtendedPlan(1), 7);
    {
        Script script;
        auto form = StartRun();
        script.Choose(folder / "phone.shx");
        Choose(*form, MenuItem::FileOpenItem);
    }
    Script script;
    auto form = StartRun();
    const auto before = EnabledItems(*form);
    script.Choose(folder / "missing\\out.shx");
    Choose(*form, MenuItem::FileSaveAsItem);
    ASSERT_FALSE(script.Boxes().empty());
    const Modal error = script.Boxes().back();
    EXPECT_EQ(error.title, L"Zantrel");
    EXPECT_EQ(error.style, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_NE(error.details.find(L"missing"), std::wstring::npos);
    EXPECT_TRUE(form->IsOpen());
    EXPECT_EQ(EnabledItems(*form), before);
    EXPECT_FALSE(test::Exists(folder / "missing"));

    // The save dialog crashes and the system swallows the crash: an unwind
    // the window did not throw. The window takes input again and answers.
    script.answers.push_back([](Modal& modal) -> int {
        EnableWindow(modal.owner, FALSE); // as a system dialog does while it shows
        test::UnwindFromHere();
    });
    EXPECT_TRUE(test::RunUntilUnwound([&] { form->Choose(MenuItem::FileSaveAsItem); }));
    EXPECT_TRUE(IsWindowEnabled(form->Handle()));
    EXPECT_EQ(EnabledItems(*form), before);

    // Exit still keeps the pending work.
    Choose(*form, MenuItem::FileExitItem);
    EXPECT_FALSE(form->IsOpen());
    EXPECT_EQ(test::ReadText(folder / "shxdata.dat"), "1");
}

TEST(WinWindow, SettingsDialog) {
    test::TempFolder folder;
    Script script;
    auto form = StartRun();
    TAboutBox1& settings = *form->SettingsDialog();
    EXPECT_EQ(TextOf(settings.Handle()), L"Settings");
    EXPECT_EQ(TextOf(settings.CheckBox1), L"&Do not perform clean-up on completion");
    EXPECT_EQ(TextOf(settings.CheckBox2), L"&Edit only mode (Export from dialog is not invoked)");
    EXPECT_EQ(TextOf(settings.CheckBox3), L"Select &folder to save icons and CG's ");
    EXPECT_EQ(TextOf(settings.CheckBox4), L"Disable &RAW 2 BMP conversion");
    EXPECT_EQ(TextOf(settings.CheckBox5), L"Select &transparency replacer color");
    EXPECT_EQ(TextOf(settings.Button1), L"Cancel");
    EXPECT_EQ(TextOf(settings.Button2), L"OK");

    // Defaults: all clear, the colour box and swatch enabled, magenta.
    for (HWND box : {settings.CheckBox1, settings.CheckBox2, settings.CheckBox3, settings.CheckBox4,
                     settings.CheckBox5})
        EXPECT_FALSE(Ticked(box));
    EXPECT_TRUE(IsWindowEnabled(settings.CheckBox5));
    EXPECT_TRUE(IsWindowEnabled(settings.Shape1));
    EXPECT_EQ(settings.Shape1Colour(), RGB(255, 0, 255));

    // Conversion off and on again, at once.
    SendMessageW(settings.CheckBox4, BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindowEnabled(settings.CheckBox5));
    EXPECT_FALSE(IsWindowEnabled(settings.Shape1));
    EXPECT_FALSE(State().rawConversionEnabled);
    SendMessageW(settings.CheckBox4, BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(settings.CheckBox5));
    EXPECT_TRUE(State().rawConversionEnabled);

    // A picked colour ticks the box and paints the swatch; the picker opened
    // magenta with its custom colours; cancelled, the box is cleared.
    script.PickColour(RGB(255, 128, 0));
    SendMessageW(settings.CheckBox5, BM_CLICK, 0, 0);
    ASSERT_EQ(script.seen.back().kind, ModalKind::Colour);
    EXPECT_EQ(script.seen.back().colour, RGB(255, 0, 255));
    EXPECT_NE(script.seen.back().customColours, nullptr);
    EXPECT_TRUE(Ticked(settings.CheckBox5));
    EXPECT_EQ(settings.Shape1Colour(), RGB(255, 128, 0));
    SendMessageW(settings.CheckBox5, BM_CLICK, 0, 0);
    EXPECT_EQ(script.seen.back().colour, RGB(255, 128, 0));
    EXPECT_FALSE(Ticked(settings.CheckBox5));
    EXPECT_EQ(settings.Shape1Colour(), RGB(255, 128, 0));
    // The swatch is a Tab stop; a click or Space on it, or Enter while it has
    // the keyboard, ticks the colour box as a click on the box does.
    EXPECT_TRUE(GetWindowLongW(settings.Shape1, GWL_STYLE) & WS_TABSTOP);
    script.PickColour(RGB(255, 128, 0));
    SendMessageW(settings.Shape1, BM_CLICK, 0, 0);
    ASSERT_EQ(script.seen.back().kind, ModalKind::Colour);
    EXPECT_TRUE(Ticked(settings.CheckBox5));
    const std::size_t dialogs = script.seen.size();
    script.PickColour(RGB(255, 128, 0));
    EXPECT_EQ(GetFocus(), settings.Shape1);
    SendMessageW(settings.Handle(), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(script.seen.size(), dialogs + 1);
    EXPECT_TRUE(Ticked(settings.CheckBox5));

    // The folder picker opens in the work folder; cancel clears the box.
    const std::string workFolder = State().workFolder;
    // Shortened in the middle to the label's width.
    EXPECT_EQ(TextOf(settings.WorkFolderLabel),
              WideFromUtf8(ShortenMiddle(workFolder, WorkFolderLabelChars)));
    SendMessageW(settings.CheckBox3, BM_CLICK, 0, 0);
    ASSERT_EQ(script.seen.back().kind, ModalKind::Folder);
    EXPECT_EQ(script.seen.back().title, L"Select a folder");
    EXPECT_EQ(script.seen.back().folder, WideFromUtf8(workFolder));
    EXPECT_TRUE(script.seen.back().options & FOS_PICKFOLDERS);
    EXPECT_FALSE(Ticked(settings.CheckBox3));

    // Cancel writes nothing.
    const std::string before = test::ReadText(folder / "zantrel.ini");
    SendMessageW(settings.CheckBox1, BM_CLICK, 0, 0);
    script.Answer(IDCANCEL);
    Choose(*form, MenuItem::Settings1);
    EXPECT_EQ(script.seen.back().kind, ModalKind::Settings);
    EXPECT_EQ(test::ReadText(folder / "zantrel.ini"), before);

    // OK writes all seven lines, with the new work folder and its tree.
    std::filesystem::create_directory(PathFromUtf8(folder / "elsewhere"));
    script.Choose(folder / "elsewhere");
    SendMessageW(settings.CheckBox3, BM_CLICK, 0, 0);
    EXPECT_TRUE(Ticked(settings.CheckBox3));
    EXPECT_EQ(TextOf(settings.WorkFolderLabel),
              WideFromUtf8(ShortenMiddle(folder / "elsewhere", WorkFolderLabelChars)));
    script.Answer(IDOK);
    Choose(*form, MenuItem::Settings1);
    EXPECT_EQ(test::ReadText(folder / "zantrel.ini"),
              "0\r\n1\r\n1\r\n0\r\n128\r\n255\r\n" + (folder / "elsewhere") + "\r\n");
    EXPECT_TRUE(std::filesystem::is_directory(PathFromUtf8(folder / "elsewhere\\binary1")));
    EXPECT_TRUE(form->IsOpen());
    // The picker made the chosen folder current; the temporary folder goes back.
    SetCurrentDirectoryW(WideFromUtf8(folder.Path()).c_str());
}
