#include "win/sdimain.h"

#include <objbase.h>
#include <shellapi.h>
#include <shobjidl.h>
#include <windowsx.h>

#include <algorithm>
#include <exception>

#include "base/state.h"
#include "base/unicode.h"
#include "shell/sdimain.h"
#include "shell/workview.h"
#include "win/about.h"
#include "win/about1.h"
#include "win/modal.h"
#include "win/resource.h"
#include "win/thumbs.h"

namespace zantrel {

namespace {

const wchar_t* const WindowClassName = L"ZantrelMainWindow";
constexpr UINT WatchTimer = 1;
constexpr UINT WatchInterval = 250;   // ms between looks at the change notification
constexpr ULONGLONG SettleTime = 400; // ms without a change before the view is reread
constexpr UINT DroppedMessage = WM_APP + 1;
constexpr int ProgressWidth = 200;
constexpr int MenuCount = 9;

struct MenuEntry {
    MenuItem item;
    int id;
    const wchar_t* hint; // the long part of the item's hint, for the status bar
};

constexpr MenuEntry Entries[MenuCount] = {
    {MenuItem::FileOpenItem, IDM_FILE_OPEN, L"Open a flash file"},
    {MenuItem::Port1, IDM_FILE_PORT, L"Port DRM"},
    {MenuItem::FileSaveAsItem, IDM_FILE_SAVEAS, L"Save DRM to file"},
    {MenuItem::FileDiscardItem, IDM_FILE_DISCARD, L"Delete the pending session and its work files"},
    {MenuItem::FileOpenWorkFolderItem, IDM_FILE_WORKFOLDER,
     L"Show the icons and pictures to edit in the file manager"},
    {MenuItem::FileExitItem, IDM_FILE_EXIT, L"Exit utility"},
    {MenuItem::ViewRefreshItem, IDM_VIEW_REFRESH, L"Read the work files again"},
    {MenuItem::Settings1, IDM_SETTINGS, L"Settings"},
    {MenuItem::HelpAboutItem, IDM_HELP_ABOUT,
     L"Displays program information, version number, and copyright"},
};

// The menu bar's submenus by position: "&File", "&View", "&Settings", "&Help".
const wchar_t* const TopHints[] = {L"Operation commands", L"View commands", L"Settings",
                                   L"Help topics"};

std::wstring Wide(const std::string& text) { return WideFromUtf8(text); }

} // namespace

std::wstring ApplicationTitle() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return L"Zantrel";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0)
        name.resize(dot);
    return name.empty() ? L"Zantrel" : name;
}

namespace {

// "SHX files|*.shx|SBF files|*.sbf" as (name, pattern) pairs.
std::vector<std::pair<std::wstring, std::wstring>> FilterPairs(const std::string& filter) {
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (!filter.empty() && start <= filter.size()) {
        const std::size_t bar = std::min(filter.find('|', start), filter.size());
        parts.push_back(Wide(filter.substr(start, bar - start)));
        start = bar + 1;
    }
    for (std::size_t i = 0; i < parts.size(); i += 2)
        pairs.emplace_back(parts[i], i + 1 < parts.size() ? parts[i + 1] : L"*.*");
    return pairs;
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring NamePart(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Opens a file or folder with the program the system has for it; false when
// none answers.
bool OpenInShell(HWND owner, const std::wstring& path) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(owner, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

HWND MakeChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style,
               DWORD exStyle = 0, int id = 0) {
    return CreateWindowExW(exStyle, className, text, WS_CHILD | style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

int TextHeight(HWND window, HFONT font) {
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return metrics.tmHeight;
}

int TextWidth(HWND window, HFONT font, const std::wstring& text) {
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return size.cx;
}

} // namespace

void InitWindowProgram() {
    static bool done = false;
    if (done)
        return;
    done = true;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS |
                                                       ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES |
                                                       ICC_LINK_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = TSDIAppForm::WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hIcon = LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(IDI_ZANTREL));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(windowClass.hInstance, MAKEINTRESOURCEW(IDI_ZANTREL), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = WindowClassName;
    RegisterClassExW(&windowClass);
}

TSDIAppForm::TSDIAppForm() {
    InitWindowProgram();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    Menu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MAINMENU));
    shortcuts_ = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_SHORTCUTS));
    window_ = CreateWindowExW(WS_EX_ACCEPTFILES, WindowClassName, L"Zantrel",
                              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, nullptr, Menu, instance, this);
    dpi_ = static_cast<int>(GetDpiForWindow(window_));
    if (dpi_ <= 0)
        dpi_ = 96;
    SetWindowPos(window_, nullptr, 0, 0, Scaled(760), Scaled(560),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CreateControls();

    InstallUi(this);
    SetErrorReporter([this](const std::string& message, const std::string& path,
                            const std::string& next) { ShowIoError(message, path, next); });
    Run([] { InitApp(); });
    // Another Zantrel in this folder: the box has said so, the run ends.
    if (!window_)
        return;
    // The menu as start-up left it, whatever the resource said.
    for (const MenuEntry& entry : Entries)
        SetMenuItemEnabled(entry.item, MenuItemEnabled(entry.item));
    RefreshView();
    WatchWorkFolder();
}

TSDIAppForm::~TSDIAppForm() {
    if (&Ui() == this)
        InstallUi(nullptr);
    SetErrorReporter([](const std::string&, const std::string&, const std::string&) {});
    settings_.reset();
    about_.reset();
    if (window_)
        DestroyWindow(window_);
    if (shortcuts_)
        DestroyAcceleratorTable(shortcuts_);
    for (HFONT font : {font_, boldFont_, hintFont_})
        if (font)
            DeleteObject(font);
    if (images_)
        ImageList_Destroy(images_);
}

void TSDIAppForm::CreateControls() {
    StatusBar1 = MakeChild(window_, STATUSCLASSNAMEW, L"", WS_VISIBLE | SBARS_SIZEGRIP);
    ProgressBar1 = MakeChild(StatusBar1, PROGRESS_CLASSW, L"", 0);
    SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, 100);
    EnableWindow(ProgressBar1, FALSE);

    HintLabel = MakeChild(window_, WC_STATICW,
                          L"Open a flash file to start.\n\nFile > Open, or drop a flash file here.",
                          SS_CENTER | SS_NOPREFIX);
    Tabs = MakeChild(window_, WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_TABSTOP);
    Thumbnails =
        MakeChild(window_, WC_LISTVIEWW, L"",
                  WS_TABSTOP | LVS_ICON | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_AUTOARRANGE,
                  WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(Thumbnails, LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
    UpdateFonts();
}

void TSDIAppForm::UpdateFonts() {
    for (HFONT* font : {&font_, &boldFont_, &hintFont_})
        if (*font) {
            DeleteObject(*font);
            *font = nullptr;
        }
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                               static_cast<UINT>(dpi_));
    LOGFONTW message = metrics.lfMessageFont;
    font_ = CreateFontIndirectW(&message);
    LOGFONTW bold = message;
    bold.lfWeight = FW_SEMIBOLD;
    boldFont_ = CreateFontIndirectW(&bold);
    LOGFONTW large = message;
    large.lfHeight = large.lfHeight * 5 / 4;
    hintFont_ = CreateFontIndirectW(&large);
    for (HWND control : {StatusBar1, Tabs, Thumbnails})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SendMessageW(HintLabel, WM_SETFONT, reinterpret_cast<WPARAM>(hintFont_), FALSE);
    for (const PanelLine& line : panel_) {
        SendMessageW(line.label, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_), FALSE);
        SendMessageW(line.value, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    }
}

void TSDIAppForm::Layout() {
    if (!window_)
        return;
    RECT client{};
    GetClientRect(window_, &client);
    SendMessageW(StatusBar1, WM_SIZE, 0, 0);
    RECT bar{};
    GetWindowRect(StatusBar1, &bar);
    const int barHeight = bar.bottom - bar.top;
    const int progress = Scaled(ProgressWidth);
    // The progress bar's part only while it shows.
    const bool showing = (GetWindowLongW(ProgressBar1, GWL_STYLE) & WS_VISIBLE) != 0;
    int parts[2] = {std::max(0, static_cast<int>(client.right) - progress - Scaled(24)), -1};
    if (!showing)
        parts[0] = -1;
    SendMessageW(StatusBar1, SB_SETPARTS, showing ? 2 : 1, reinterpret_cast<LPARAM>(parts));
    RECT part{};
    SendMessageW(StatusBar1, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part));
    MoveWindow(ProgressBar1, part.left + 2, part.top + 2, progress - 4, part.bottom - part.top - 4,
               TRUE);

    const int width = client.right;
    const int bottom = client.bottom - barHeight;
    const int margin = Scaled(10);
    int y = 0;
    if (!panel_.empty()) {
        const int line = TextHeight(window_, font_) + Scaled(5);
        int labelWidth = 0;
        for (const PanelLine& p : panel_)
            labelWidth = std::max(labelWidth, TextWidth(window_, boldFont_, Wide(p.line.label)));
        labelWidth += Scaled(12);
        y = margin;
        for (const PanelLine& p : panel_) {
            MoveWindow(p.label, margin, y, labelWidth, line, TRUE);
            MoveWindow(p.value, margin + labelWidth, y,
                       std::max(0, width - 2 * margin - labelWidth), line, TRUE);
            y += line;
        }
        y += margin / 2;
    }
    const int height = std::max(0, bottom - y);
    MoveWindow(HintLabel, margin, y + std::max(0, height / 3 - Scaled(40)),
               std::max(0, width - 2 * margin), Scaled(160), TRUE);
    if (pair_) {
        MoveWindow(Tabs, 0, y, width, height, TRUE);
        RECT inside{0, 0, width, height};
        TabCtrl_AdjustRect(Tabs, FALSE, &inside);
        MoveWindow(Thumbnails, inside.left, y + inside.top, inside.right - inside.left,
                   inside.bottom - inside.top, TRUE);
        SetWindowPos(Thumbnails, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    } else {
        MoveWindow(Thumbnails, 0, y, width, height, TRUE);
    }
}

void TSDIAppForm::SetDialogs(std::unique_ptr<TAboutBox1> settings,
                             std::unique_ptr<TAboutBox> about) {
    settings_ = std::move(settings);
    about_ = std::move(about);
}

void TSDIAppForm::Run(const std::function<void()>& command) {
    // Commands never nest: one runs to its end before the next starts.
    if (busy_)
        return;
    busy_ = true;
    closeRequested_ = false;
    try {
        RunCommand(command);
    } catch (const std::exception& e) {
        // Nothing may cross the window procedure; RunCommand takes the I/O failures.
        ShowIoError(e.what());
    } catch (...) {
        ShowIoError("Unexpected failure");
    }
    busy_ = false;
    if (closeRequested_ && window_)
        DestroyWindow(window_);
}

void TSDIAppForm::FileOpen1Execute() {
    Run([] { zantrel::FileOpen1Execute(); });
}

void TSDIAppForm::Port1Click() {
    Run([] { zantrel::Port1Click(); });
    if (window_)
        RefreshView();
}

void TSDIAppForm::FileSave1Execute() {
    Run([] { zantrel::FileSave1Execute(); });
}

void TSDIAppForm::FileDiscard1Execute() {
    Run([] { zantrel::FileDiscard1Execute(); });
}

void TSDIAppForm::FileOpenWorkFolder1Execute() {
    if (!busy_)
        OpenFolder(EditFolder());
}

void TSDIAppForm::OpenFolder(const std::string& path) {
    if (!OpenInShell(window_, Wide(path)))
        ShowMessage("No file manager answered. The folder is:", "Open Work Folder", path);
}

void TSDIAppForm::FileExit1Execute() {
    Run([] { zantrel::FileExit1Execute(); });
}

void TSDIAppForm::ViewRefresh1Execute() {
    if (!busy_)
        RefreshView();
}

void TSDIAppForm::Settings1Click() {
    Run([this] {
        if (!settings_)
            return;
        Modal dialog;
        dialog.kind = ModalKind::Settings;
        dialog.owner = window_;
        dialog.window = settings_->Handle();
        dialog.title = L"Settings";
        if (RunModal(dialog) == IDOK)
            ApplySettings(settings_->CurrentState());
    });
}

void TSDIAppForm::HelpAbout1Execute() {
    Run([this] {
        if (!about_)
            return;
        Modal dialog;
        dialog.kind = ModalKind::About;
        dialog.owner = window_;
        dialog.window = about_->Handle();
        dialog.title = L"About";
        RunModal(dialog);
    });
}

void TSDIAppForm::OpenDropped(const std::wstring& path) {
    if (busy_ || !window_ || path.empty() || !MenuItemEnabled(MenuItem::FileOpenItem))
        return;
    droppedFile_ = path;
    FileOpen1Execute();
    droppedFile_.reset();
}

void TSDIAppForm::ShowIoError(const std::string& message, const std::string& path,
                              const std::string& next) {
    Modal box;
    box.owner = window_;
    box.title = ApplicationTitle();
    box.text = Wide(message);
    // The file the failure concerns, so the user knows which one to look at,
    // then what to do about it.
    box.details = Wide(path);
    if (!next.empty())
        box.details += (box.details.empty() ? L"" : L"\n\n") + Wide(next);
    box.style = MB_OK | MB_ICONSTOP;
    RunModal(box);
}

void TSDIAppForm::SetStatusText(const std::string& text) {
    statusText_ = Wide(text);
    SendMessageW(StatusBar1, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(statusText_.c_str()));
    // Commands run on this thread without returning to the message loop.
    UpdateWindow(StatusBar1);
}

void TSDIAppForm::ShowProgress(bool on) {
    ShowWindow(ProgressBar1, on ? SW_SHOW : SW_HIDE);
    EnableWindow(ProgressBar1, on);
    Layout();
    if (on)
        UpdateWindow(ProgressBar1);
}

void TSDIAppForm::SetProgress(int percent) {
    SendMessageW(ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(std::clamp(percent, 0, 100)), 0);
    UpdateWindow(ProgressBar1);
}

void TSDIAppForm::ShowMessage(const std::string& text, const std::string& caption,
                              const std::string& details) {
    Modal box;
    box.owner = window_;
    // An empty caption leaves the title bar empty ("Error" is shown for none at all).
    box.title = Wide(caption);
    box.text = Wide(text);
    box.details = Wide(details);
    box.style = MB_OK;
    RunModal(box);
}

bool TSDIAppForm::AskConfirmation(const std::string& text, const std::string& caption) {
    Modal box;
    box.owner = window_;
    box.title = Wide(caption);
    box.text = Wide(text);
    box.style = MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2;
    return RunModal(box) == IDOK;
}

std::optional<std::string> TSDIAppForm::AskOpenFile(const std::string& title,
                                                    const std::string& filter, bool clearName) {
    if (clearName)
        openFileName_.clear();
    if (droppedFile_) {
        openFileName_ = *droppedFile_;
        openFolder_ = FolderOf(openFileName_);
        droppedFile_.reset();
        return Utf8FromWide(openFileName_);
    }
    Modal dialog;
    dialog.kind = ModalKind::Open;
    dialog.owner = window_;
    dialog.title = Wide(title);
    dialog.filters = FilterPairs(filter);
    dialog.filterIndex =
        openFilterIndex_ <= static_cast<int>(dialog.filters.size()) ? openFilterIndex_ : 1;
    dialog.options = FOS_FILEMUSTEXIST | FOS_PATHMUSTEXIST;
    dialog.folder = openFolder_;
    dialog.fileName = NamePart(openFileName_);
    if (RunModal(dialog) != IDOK || dialog.fileName.empty())
        return std::nullopt;
    openFileName_ = dialog.fileName;
    openFilterIndex_ = dialog.filterIndex;
    openFolder_ = FolderOf(openFileName_);
    return Utf8FromWide(openFileName_);
}

std::optional<std::string> TSDIAppForm::AskSaveFile(const std::string& title,
                                                    const std::string& filter) {
    Modal dialog;
    dialog.kind = ModalKind::Save;
    dialog.owner = window_;
    dialog.title = Wide(title);
    dialog.filters = FilterPairs(filter);
    dialog.defaultExtension = L"shx";
    // No overwrite prompt: Save As asks itself, naming every file it replaces.
    dialog.options = FOS_PATHMUSTEXIST;
    if (RunModal(dialog) != IDOK || dialog.fileName.empty())
        return std::nullopt;
    return WithDefaultExtension(Utf8FromWide(dialog.fileName));
}

void TSDIAppForm::CloseMainWindow() { closeRequested_ = true; }

void TSDIAppForm::SetMenuItemEnabled(MenuItem item, bool on) {
    for (const MenuEntry& entry : Entries)
        if (entry.item == item)
            EnableMenuItem(Menu, static_cast<UINT>(entry.id),
                           MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    if (window_)
        DrawMenuBar(window_);
}

void TSDIAppForm::BuildPanel() {
    for (const PanelLine& line : panel_) {
        DestroyWindow(line.label);
        DestroyWindow(line.value);
    }
    panel_.clear();
    const SessionSummary summary = DescribeSession();
    pair_ = summary.pair;
    for (const SessionLine& line : summary.lines) {
        PanelLine p;
        p.line = line;
        p.label =
            MakeChild(window_, WC_STATICW, Wide(line.label).c_str(), WS_VISIBLE | SS_NOPREFIX);
        if (line.role == SessionLine::Role::Folder) {
            const std::wstring markup = L"<a>" + Wide(line.value) + L"</a>";
            p.value = MakeChild(window_, WC_LINK, markup.c_str(), WS_VISIBLE | WS_TABSTOP);
        } else {
            p.value = MakeChild(window_, WC_STATICW, Wide(line.value).c_str(),
                                WS_VISIBLE | SS_NOPREFIX | SS_ENDELLIPSIS);
        }
        SendMessageW(p.label, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_), FALSE);
        SendMessageW(p.value, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        panel_.push_back(std::move(p));
    }
}

void TSDIAppForm::RefreshView() {
    if (!window_)
        return;
    if (State().freshSession) {
        ShowWindow(HintLabel, SW_SHOW);
        ShowWindow(Tabs, SW_HIDE);
        ShowWindow(Thumbnails, SW_HIDE);
        Layout();
        return;
    }
    BuildPanel();
    if (pair_) {
        for (int i = 0; i < 2; ++i) {
            std::wstring caption = Wide(ImageTitle(i + 1));
            TCITEMW tab{};
            tab.mask = TCIF_TEXT;
            tab.pszText = caption.data();
            if (TabCtrl_GetItemCount(Tabs) > i)
                TabCtrl_SetItem(Tabs, i, &tab);
            else
                TabCtrl_InsertItem(Tabs, i, &tab);
        }
    }
    if (!pair_)
        shownImage_ = 1;
    ShowWindow(Tabs, pair_ ? SW_SHOW : SW_HIDE);
    FillThumbnails();
    Layout();
    InvalidateRect(window_, nullptr, TRUE);
}

void TSDIAppForm::ShowImage(int image) {
    if (image != 1 && !(image == 2 && pair_))
        return;
    shownImage_ = image;
    TabCtrl_SetCurSel(Tabs, image - 1);
    FillThumbnails();
    Layout();
}

void TSDIAppForm::FillThumbnails() {
    const WorkView view = ListWorkItems(shownImage_);
    if (!view.error.empty() && view.items.empty()) {
        SetWindowTextW(HintLabel, Wide(NoDrmToShowText(view.error)).c_str());
        ShowWindow(HintLabel, SW_SHOW);
        ShowWindow(Thumbnails, SW_HIDE);
        return;
    }
    const int selected = ListView_GetNextItem(Thumbnails, -1, LVNI_SELECTED);
    POINT origin{};
    ListView_GetOrigin(Thumbnails, &origin);

    const int side = Scaled(96);
    if (!images_ || side != thumbnailSide_) {
        if (images_)
            ImageList_Destroy(images_);
        thumbnailSide_ = side;
        images_ = ImageList_Create(side, side, ILC_COLOR32, 16, 16);
        ListView_SetImageList(Thumbnails, images_, LVSIL_NORMAL);
        ListView_SetIconSpacing(Thumbnails, side + Scaled(64), side + Scaled(52));
    }
    SendMessageW(Thumbnails, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(Thumbnails);
    ImageList_RemoveAll(images_);
    thumbnails_.clear();
    for (const WorkItem& work : view.items) {
        const WorkItemCaption caption = CaptionOf(work);
        Thumbnail t;
        t.text = Wide(caption.name) + L"\n" + Wide(caption.detail);
        t.path = Wide(work.path);
        t.tip = work.path.empty() ? Wide(caption.name)
                                  : t.path + L"\n" + std::to_wstring(work.bytes) + L" bytes";
        if (!caption.tip.empty())
            t.tip += L"\n" + Wide(caption.tip);
        t.marked = caption.marked;
        HBITMAP bitmap = RenderThumbnail(LoadWorkPicture(work), side);
        const int image = bitmap ? ImageList_Add(images_, bitmap, nullptr) : -1;
        if (bitmap)
            DeleteObject(bitmap);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        item.iItem = static_cast<int>(thumbnails_.size());
        item.pszText = t.text.data();
        item.iImage = image;
        item.lParam = static_cast<LPARAM>(thumbnails_.size());
        thumbnails_.push_back(std::move(t));
        ListView_InsertItem(Thumbnails, &item);
    }
    if (selected >= 0 && selected < static_cast<int>(thumbnails_.size()))
        ListView_SetItemState(Thumbnails, selected, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
    ListView_Scroll(Thumbnails, origin.x, origin.y);
    SendMessageW(Thumbnails, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(Thumbnails, nullptr, TRUE);
    ShowWindow(HintLabel, SW_HIDE);
    ShowWindow(Thumbnails, SW_SHOW);
}

std::vector<std::pair<std::wstring, bool>> TSDIAppForm::ThumbnailTexts() const {
    std::vector<std::pair<std::wstring, bool>> texts;
    const int count = ListView_GetItemCount(Thumbnails);
    for (int i = 0; i < count; ++i) {
        wchar_t buffer[512] = {};
        ListView_GetItemText(Thumbnails, i, 0, buffer, 512);
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        ListView_GetItem(Thumbnails, &item);
        const auto index = static_cast<std::size_t>(item.lParam);
        texts.emplace_back(buffer, index < thumbnails_.size() && thumbnails_[index].marked);
    }
    return texts;
}

void TSDIAppForm::OpenThumbnail(int index) {
    if (index < 0 || index >= static_cast<int>(thumbnails_.size()))
        return;
    const std::wstring& path = thumbnails_[static_cast<std::size_t>(index)].path;
    if (path.empty())
        return;
    // Where no program is set up for the file's kind, its folder at least.
    if (!OpenInShell(window_, path))
        OpenFolder(Utf8FromWide(FolderOf(path)));
}

void TSDIAppForm::WatchWorkFolder() {
    if (State().freshSession || !window_)
        return;
    // Each image's whole drmpack folder: the icons, the BMP copies and the raws below it.
    for (const std::string& folder : {State().drmpack1Dir, State().drmpack2Dir}) {
        HANDLE watch = FindFirstChangeNotificationW(
            Wide(folder).c_str(), TRUE,
            FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
        if (watch != INVALID_HANDLE_VALUE)
            watches_.push_back(watch);
    }
    if (!watches_.empty())
        SetTimer(window_, WatchTimer, WatchInterval, nullptr);
}

void TSDIAppForm::OnTimer() {
    for (HANDLE watch : watches_)
        if (WaitForSingleObject(watch, 0) == WAIT_OBJECT_0) {
            FindNextChangeNotification(watch);
            changedAt_ = GetTickCount64();
        }
    // An editor saves in several steps: reread once they are done.
    if (changedAt_ && !busy_ && GetTickCount64() - changedAt_ >= SettleTime) {
        changedAt_ = 0;
        RefreshView();
    }
}

void TSDIAppForm::OnMenuSelect(UINT id, UINT flags, HMENU menu) {
    if (flags == 0xFFFF && !menu) {
        menuHint_.clear();
        SendMessageW(StatusBar1, SB_SIMPLE, FALSE, 0);
        return;
    }
    std::wstring hint;
    if ((flags & MF_POPUP) && menu == Menu && id < std::size(TopHints)) {
        hint = TopHints[id];
    } else if (!(flags & (MF_POPUP | MF_SEPARATOR))) {
        for (const MenuEntry& entry : Entries)
            if (entry.id == static_cast<int>(id))
                hint = entry.hint;
    }
    menuHint_ = hint;
    SendMessageW(StatusBar1, SB_SIMPLE, TRUE, 0);
    SendMessageW(StatusBar1, SB_SETTEXTW, SB_SIMPLEID | SBT_NOBORDERS,
                 reinterpret_cast<LPARAM>(menuHint_.c_str()));
}

void TSDIAppForm::OnCommand(int id) {
    // A shortcut reaches here even for a greyed item: the menu's state decides.
    const UINT state = GetMenuState(Menu, static_cast<UINT>(id), MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1) || (state & (MF_GRAYED | MF_DISABLED)))
        return;
    switch (id) {
    case IDM_FILE_OPEN:
        FileOpen1Execute();
        break;
    case IDM_FILE_PORT:
        Port1Click();
        break;
    case IDM_FILE_SAVEAS:
        FileSave1Execute();
        break;
    case IDM_FILE_DISCARD:
        FileDiscard1Execute();
        break;
    case IDM_FILE_WORKFOLDER:
        FileOpenWorkFolder1Execute();
        break;
    case IDM_FILE_EXIT:
        FileExit1Execute();
        break;
    case IDM_VIEW_REFRESH:
        ViewRefresh1Execute();
        break;
    case IDM_SETTINGS:
        Settings1Click();
        break;
    case IDM_HELP_ABOUT:
        HelpAbout1Execute();
        break;
    }
}

LRESULT TSDIAppForm::OnNotify(NMHDR* header) {
    if (header->hwndFrom == Tabs && header->code == TCN_SELCHANGE) {
        ShowImage(TabCtrl_GetCurSel(Tabs) + 1);
        return 0;
    }
    if (header->hwndFrom == Thumbnails) {
        switch (header->code) {
        case LVN_ITEMACTIVATE: {
            const auto* activate = reinterpret_cast<NMITEMACTIVATE*>(header);
            LVITEMW item{};
            item.mask = LVIF_PARAM;
            item.iItem = activate->iItem;
            if (ListView_GetItem(Thumbnails, &item))
                OpenThumbnail(static_cast<int>(item.lParam));
            return 0;
        }
        case LVN_GETINFOTIPW: {
            auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(header);
            LVITEMW item{};
            item.mask = LVIF_PARAM;
            item.iItem = tip->iItem;
            if (ListView_GetItem(Thumbnails, &item) &&
                static_cast<std::size_t>(item.lParam) < thumbnails_.size())
                lstrcpynW(tip->pszText,
                          thumbnails_[static_cast<std::size_t>(item.lParam)].tip.c_str(),
                          tip->cchTextMax);
            return 0;
        }
        case NM_CUSTOMDRAW: {
            auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
            if (draw->nmcd.dwDrawStage == CDDS_PREPAINT)
                return CDRF_NOTIFYITEMDRAW;
            if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
                const auto index = static_cast<std::size_t>(draw->nmcd.lItemlParam);
                if (index < thumbnails_.size() && thumbnails_[index].marked)
                    draw->clrText = RGB(0xC0, 0x00, 0x00);
            }
            return CDRF_DODEFAULT;
        }
        }
    }
    if (header->code == NM_CLICK || header->code == NM_RETURN) {
        for (const PanelLine& line : panel_)
            if (line.value == header->hwndFrom && !busy_)
                OpenFolder(line.line.value);
    }
    return 0;
}

void TSDIAppForm::OnClose() {
    // The title-bar button in a second run is Exit: the box, and the session
    // kept for the next run. A command that closes the window has done its part.
    if (busy_)
        return; // a running command ends first
    if (!State().freshSession) {
        busy_ = true;
        RunCommand([] { return zantrel::FileExit1Execute(); });
        busy_ = false;
    }
    // Closed even after a failure: the session file is still there from the start.
    DestroyWindow(window_);
}

LRESULT CALLBACK TSDIAppForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<TSDIAppForm*>(create->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TSDIAppForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->OnMessage(message, wParam, lParam);
}

LRESULT TSDIAppForm::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (lParam == 0)
            OnCommand(LOWORD(wParam));
        return 0;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<NMHDR*>(lParam));
    case WM_MENUSELECT:
        OnMenuSelect(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
        return 0;
    case WM_EXITMENULOOP:
        OnMenuSelect(0, 0xFFFF, nullptr);
        return 0;
    case WM_SIZE:
        Layout();
        return 0;
    case WM_SETFOCUS:
        // The keyboard works in the thumbnails: arrows, Enter opens a file.
        if (GetWindowLongW(Thumbnails, GWL_STYLE) & WS_VISIBLE)
            SetFocus(Thumbnails);
        return 0;
    case WM_GETMINMAXINFO: {
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = {Scaled(420), Scaled(300)};
        return 0;
    }
    case WM_DPICHANGED: {
        dpi_ = HIWORD(wParam);
        UpdateFonts();
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (!State().freshSession)
            RefreshView();
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        const auto control = reinterpret_cast<HWND>(lParam);
        auto dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        if (control == HintLabel)
            SetTextColor(dc, RGB(0x60, 0x60, 0x60));
        for (const PanelLine& line : panel_)
            if (line.value == control && line.line.role == SessionLine::Role::Warning)
                SetTextColor(dc, RGB(0xC0, 0x00, 0x00));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_TIMER:
        if (wParam == WatchTimer)
            OnTimer();
        return 0;
    case WM_DROPFILES: {
        auto drop = reinterpret_cast<HDROP>(wParam);
        if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
            const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
            std::wstring path(length + 1, L'\0');
            DragQueryFileW(drop, 0, path.data(), length + 1);
            path.resize(length);
            pendingDrop_ = path;
            // Open shows dialogs; they run after the drop has finished, not inside it.
            PostMessageW(window_, DroppedMessage, 0, 0);
        }
        DragFinish(drop);
        return 0;
    }
    case DroppedMessage: {
        const std::wstring path = std::move(pendingDrop_);
        pendingDrop_.clear();
        OpenDropped(path);
        return 0;
    }
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_DESTROY:
        KillTimer(window_, WatchTimer);
        for (HANDLE watch : watches_)
            FindCloseChangeNotification(watch);
        watches_.clear();
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY: {
        HWND window = window_;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        window_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

std::unique_ptr<TSDIAppForm> CreateAppWindows() {
    auto form = std::make_unique<TSDIAppForm>();
    if (form->IsOpen())
        form->SetDialogs(std::make_unique<TAboutBox1>(form->Handle()),
                         std::make_unique<TAboutBox>(form->Handle()));
    return form;
}

int RunMessageLoop(TSDIAppForm& form) {
    MSG msg{};
    while (form.IsOpen() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (form.IsOpen() && TranslateAcceleratorW(form.Handle(), form.Shortcuts(), &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

} // namespace zantrel
