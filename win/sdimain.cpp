#include "win/sdimain.h"

#include <objbase.h>
#include <shellapi.h>
#include <shobjidl.h>
#include <windowsx.h>

#include <algorithm>
#include <exception>

#include "base/paths.h"
#include "base/unicode.h"

#include "shell/about1.h"

#include "win/about.h"
#include "win/about1.h"
#include "win/droptarget.h"
#include "win/modal.h"
#include "win/resource.h"
#include "win/thumbs.h"

namespace zantrel {

namespace {

const wchar_t* const WindowClassName = L"ZantrelMainWindow";
constexpr UINT WatchTimer = 1;
constexpr UINT RefreshTimer = 2;    // when the model asks to be asked again
constexpr UINT WatchInterval = 100; // ms between looks at the change notifications
constexpr UINT DroppedMessage = WM_APP + 1;
constexpr int ProgressWidth = 200;

// The menu item of a command identifier (CommandId).
std::optional<MenuItem> ItemOf(int id) {
    for (const Command& command : Commands())
        if (CommandId(command.item) == id)
            return command.item;
    return std::nullopt;
}

std::wstring Wide(std::string_view text) { return WideFromUtf8(text); }

// A menu entry's text: its caption, then its key after a tab.
std::string EntryText(const MenuEntry& entry, std::string_view caption) {
    const std::string key = ShortcutText(entry.shortcut);
    return std::string(caption) + (key.empty() ? "" : "\t" + key);
}

// A modal of kind over owner, with its title, text, style and the entries
// of a file dialog's filter.
Modal MakeModal(ModalKind kind, HWND owner, std::string_view title, std::string_view text = {},
                UINT style = 0, std::string_view filter = {}) {
    Modal modal;
    modal.kind = kind;
    modal.owner = owner;
    modal.title = Wide(title);
    modal.text = Wide(text);
    modal.style = style;
    for (const auto& [name, patterns] : FilterEntries(filter))
        modal.filters.emplace_back(Wide(name), Wide(patterns));
    return modal;
}

// OK is a question's first button, Cancel its second.
UINT DefaultButton(DefaultAnswer answer) {
    return answer == DefaultAnswer::Ok ? MB_DEFBUTTON1 : MB_DEFBUTTON2;
}

} // namespace

namespace {

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

// The list views' own procedure, which the thumbnails' list passes on to.
WNDPROC listViewProc = nullptr;

// The thumbnails' list view, for its wheel; its form in GWLP_USERDATA. Not
// SetWindowSubclass: under Wine that looks up a window property, a round
// trip to its server, for every message the list gets while it scrolls.
LRESULT CALLBACK ThumbnailsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<TSDIAppForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_MOUSEWHEEL && form) {
        form->WheelOverThumbnails(GET_WHEEL_DELTA_WPARAM(wParam));
        return 0;
    }
    return CallWindowProcW(listViewProc, window, message, wParam, lParam);
}

} // namespace

void InitWindowProgram() {
    static bool done = false;
    if (done)
        return;
    done = true;
    // OLE too: the window is a drop target.
    OleInitialize(nullptr);
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
    BuildMenu();
    window_ = CreateWindowExW(WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT, WindowClassName,
                              Wide(MainCaption).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                              Menu, GetModuleHandleW(nullptr), this);
    dpi_ = static_cast<int>(GetDpiForWindow(window_));
    if (dpi_ <= 0)
        dpi_ = 96;
    SetWindowPos(window_, nullptr, 0, 0, Scaled(760), Scaled(560),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CreateControls();
    // Where the system has no OLE drop target for it, the window takes files
    // dropped the older way (WM_DROPFILES), without a highlight.
    dropTarget_ = new FileDropTarget(
        {[this](POINT at) { DragFileOver(at); }, [this] { HighlightDropTarget(-1); },
         [this](const std::wstring& path, POINT at) { TakeDroppedFile(path, at); }});
    if (window_ && SUCCEEDED(RegisterDragDrop(window_, dropTarget_)))
        DragAcceptFiles(window_, FALSE);
    model_.Start();
    // Another Zantrel in this folder: the box has said so, the run ends.
    if (window_) {
        WatchWorkFolders();
        // The items listed first are checked once the window has painted.
        if (model_.Checking())
            SetTimer(window_, RefreshTimer, USER_TIMER_MINIMUM, nullptr);
    }
}

TSDIAppForm::~TSDIAppForm() {
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
    dropTarget_->Release();
}

void TSDIAppForm::BuildMenu() {
    Menu = CreateMenu();
    std::vector<ACCEL> keys;
    for (const MenuGroup& group : MainMenu()) {
        if (group.item) {
            AppendMenuW(Menu, MF_STRING, static_cast<UINT_PTR>(CommandId(*group.item)),
                        Wide(group.caption).c_str());
            continue;
        }
        HMENU popup = CreatePopupMenu();
        for (const MenuEntry& entry : group.entries) {
            if (entry.separatorBefore)
                AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(CommandId(entry.item)),
                        Wide(EntryText(entry, entry.caption)).c_str());
            const auto id = static_cast<WORD>(CommandId(entry.item));
            for (Shortcut shortcut : {entry.shortcut, entry.alternate}) {
                const std::string key = ShortcutText(shortcut);
                if (shortcut == Shortcut::F5)
                    keys.push_back({FVIRTKEY, VK_F5, id});
                else if (shortcut == Shortcut::F1)
                    keys.push_back({FVIRTKEY, VK_F1, id});
                else if (!key.empty())
                    keys.push_back(
                        {static_cast<BYTE>(FVIRTKEY | FCONTROL |
                                           (key.starts_with("Ctrl+Shift+") ? FSHIFT : 0)),
                         static_cast<WORD>(key.back()), id});
            }
        }
        AppendMenuW(Menu, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), Wide(group.caption).c_str());
    }
    shortcuts_ = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

void TSDIAppForm::CreateControls() {
    StatusBar1 = MakeChild(window_, STATUSCLASSNAMEW, L"", WS_VISIBLE | SBARS_SIZEGRIP);
    ProgressBar1 = MakeChild(StatusBar1, PROGRESS_CLASSW, L"", 0);
    SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, 100);
    EnableWindow(ProgressBar1, FALSE);

    HintLabel = MakeChild(window_, WC_STATICW, Wide(FreshRunHint).c_str(), SS_CENTER | SS_NOPREFIX);
    Tabs = MakeChild(window_, WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_TABSTOP);
    // The model holds the items: the list asks for what it shows, so that
    // thousands are neither inserted one by one nor placed one by one.
    Thumbnails =
        MakeChild(window_, WC_LISTVIEWW, L"",
                  WS_TABSTOP | LVS_ICON | LVS_SHOWSELALWAYS | LVS_AUTOARRANGE | LVS_OWNERDATA,
                  WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(Thumbnails, LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
    // A list of the model's items keeps only their selection and focus.
    ListView_SetCallbackMask(Thumbnails, LVIS_DROPHILITED);
    SetWindowLongPtrW(Thumbnails, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    listViewProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(Thumbnails, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ThumbnailsProc)));
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
    if (model_.View().images.size() > 1) {
        MoveWindow(Tabs, 0, y, width, height, TRUE);
        RECT inside{0, 0, width, height};
        TabCtrl_AdjustRect(Tabs, FALSE, &inside);
        MoveThumbnails(inside.left, y + inside.top, inside.right - inside.left,
                       inside.bottom - inside.top);
        SetWindowPos(Thumbnails, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    } else {
        MoveThumbnails(0, y, width, height);
    }
}

void TSDIAppForm::MoveThumbnails(int x, int y, int width, int height) {
    RECT now{};
    GetWindowRect(Thumbnails, &now);
    MapWindowPoints(nullptr, GetParent(Thumbnails), reinterpret_cast<POINT*>(&now), 2);
    if (now.left == x && now.top == y && now.right - now.left == width &&
        now.bottom - now.top == height)
        return;
    // Placed anew with redrawing off: with it on, each thumbnail that moves
    // is invalidated on its own (under Wine a round trip to its server each).
    SendMessageW(Thumbnails, WM_SETREDRAW, FALSE, 0);
    MoveWindow(Thumbnails, x, y, width, height, TRUE);
    ListView_Arrange(Thumbnails, LVA_DEFAULT);
    SendMessageW(Thumbnails, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(Thumbnails, nullptr, TRUE);
}

void TSDIAppForm::SetDialogs(std::unique_ptr<TAboutBox1> settings,
                             std::unique_ptr<TAboutBox> about) {
    settings_ = std::move(settings);
    about_ = std::move(about);
}

void TSDIAppForm::Close() {
    if (window_)
        DestroyWindow(window_);
}

int TSDIAppForm::RunDialog(ModalKind kind, HWND dialog, std::string_view title) {
    Modal modal = MakeModal(kind, window_, title);
    modal.window = dialog;
    return RunModal(modal);
}

std::optional<SettingsDialogState> TSDIAppForm::RunSettingsDialog() {
    if (settings_ && RunDialog(ModalKind::Settings, settings_->Handle(), SettingsCaption) == IDOK)
        return settings_->CurrentState();
    return std::nullopt;
}

void TSDIAppForm::RunAboutBox() {
    if (about_)
        RunDialog(ModalKind::About, about_->Handle(), AboutCaption);
}

void TSDIAppForm::ShowHelpPage(const std::string& caption, const std::string& text) {
    Modal page = MakeModal(ModalKind::Page, window_, caption, text);
    RunModal(page);
}

bool TSDIAppForm::OpenInShell(const std::string& path) {
    return zantrel::OpenInShell(window_, Wide(path));
}

void TSDIAppForm::OpenDropped(const std::wstring& path) { model_.DropBeside(Utf8FromWide(path)); }

int TSDIAppForm::ThumbnailRowAt(POINT screen) const {
    if (!(GetWindowLongW(Thumbnails, GWL_STYLE) & WS_VISIBLE))
        return -1;
    LVHITTESTINFO hit{};
    hit.pt = screen;
    ScreenToClient(Thumbnails, &hit.pt);
    return ListView_HitTest(Thumbnails, &hit);
}

void TSDIAppForm::DragFileOver(POINT screen) {
    const int row = ThumbnailRowAt(screen);
    const std::optional<ItemRef> item = model_.ItemAt(ShownImage(), row);
    HighlightDropTarget(item && model_.TakesDrop(*item) ? row : -1);
}

void TSDIAppForm::HighlightDropTarget(int row) {
    if (row == dropRow_)
        return;
    // The list asks for the highlight (its callback mask) and draws it anew.
    const int was = dropRow_;
    dropRow_ = row;
    for (int changed : {was, row})
        if (changed >= 0)
            ListView_RedrawItems(Thumbnails, changed, changed);
}

void TSDIAppForm::TakeDroppedFile(const std::wstring& path, POINT screen) {
    pendingDrop_ = path;
    // Over a thumbnail, the drop is for that item, taken now.
    const int row = ThumbnailRowAt(screen);
    pendingOnItem_ = row >= 0;
    pendingItem_ = model_.ItemAt(ShownImage(), row);
    // Open shows dialogs; they run after the drop has finished, not inside it.
    PostMessageW(window_, DroppedMessage, 0, 0);
}

void TSDIAppForm::DropOnThumbnailAt(const std::wstring& path, int index) {
    if (auto item = model_.ItemAt(ShownImage(), index))
        model_.DropOnItem(*item, Utf8FromWide(path));
}

void TSDIAppForm::ShowError(const std::string& message, const std::string& details) {
    Modal box = MakeModal(ModalKind::Box, window_, {}, message, MB_OK | MB_ICONSTOP);
    box.title = Wide(MainCaption);
    box.details = Wide(details);
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
    // An empty caption leaves the title bar empty, as Windows allows.
    Modal box = MakeModal(ModalKind::Box, window_, caption, text, MB_OK);
    box.details = Wide(details);
    RunModal(box);
}

bool TSDIAppForm::AskPictureQuestion(PictureQuestion& question) {
    Modal box = MakeModal(ModalKind::Box, window_, question.caption, question.text,
                          MB_OKCANCEL | MB_ICONQUESTION | DefaultButton(question.answer));
    box.picture = BitmapOf(question.pixels, question.width, question.height);
    box.pictureWidth = question.width;
    box.pictureHeight = question.height;
    box.checkBox = Wide(question.checkBox);
    box.checked = question.checked;
    if (!question.checkedPixels.empty())
        box.checkedPicture = BitmapOf(question.checkedPixels, question.width, question.height);
    const bool ok = RunModal(box) == IDOK;
    question.checked = box.checked;
    for (HBITMAP shown : {box.picture, box.checkedPicture})
        if (shown)
            DeleteObject(shown);
    return ok;
}

bool TSDIAppForm::AskConfirmation(const std::string& text, const std::string& caption,
                                  DefaultAnswer answer) {
    Modal box = MakeModal(ModalKind::Box, window_, caption, text,
                          MB_OKCANCEL | MB_ICONQUESTION | DefaultButton(answer));
    return RunModal(box) == IDOK;
}

std::optional<std::string> TSDIAppForm::AskOpenFile(const std::string& title,
                                                    const std::string& filter, bool clearName) {
    OpenDialogMemory& memory = model_.OpenDialog();
    if (auto dropped = memory.TakeDropped(clearName))
        return dropped;
    Modal dialog = MakeModal(ModalKind::Open, window_, title, {}, 0, filter);
    dialog.filterIndex = memory.FilterIndexIn(filter);
    dialog.options = FOS_FILEMUSTEXIST | FOS_PATHMUSTEXIST;
    dialog.folder = Wide(memory.StartFolder());
    dialog.fileName = Wide(FileNamePart(memory.FileName()));
    if (RunModal(dialog) != IDOK || dialog.fileName.empty())
        return std::nullopt;
    const std::string chosen = Utf8FromWide(dialog.fileName);
    memory.Remember(chosen, dialog.filterIndex);
    return chosen;
}

std::optional<std::string> TSDIAppForm::AskSaveFile(const std::string& title,
                                                    const std::string& filter,
                                                    const std::string& suggested) {
    Modal dialog = MakeModal(ModalKind::Save, window_, title, {}, 0, filter);
    dialog.defaultExtension = Wide(DefaultExtensionOf(filter));
    dialog.folder = Wide(model_.OpenDialog().StartFolder(suggested));
    dialog.fileName = Wide(FileNamePart(suggested));
    // No overwrite prompt: Save As asks itself, naming every file it replaces.
    dialog.options = FOS_PATHMUSTEXIST;
    if (RunModal(dialog) != IDOK || dialog.fileName.empty())
        return std::nullopt;
    model_.OpenDialog().RememberFolder(ParentFolder(Utf8FromWide(dialog.fileName)));
    return Utf8FromWide(dialog.fileName);
}

std::optional<std::string> TSDIAppForm::AskFolder(const std::string& title) {
    Modal dialog = MakeModal(ModalKind::Folder, window_, title);
    dialog.options = FOS_PICKFOLDERS | FOS_PATHMUSTEXIST;
    dialog.folder = Wide(model_.OpenDialog().StartFolder());
    if (RunModal(dialog) != IDOK || dialog.fileName.empty())
        return std::nullopt;
    const std::string chosen = Utf8FromWide(dialog.fileName);
    model_.OpenDialog().RememberFolder(chosen);
    return chosen;
}

void TSDIAppForm::ChooseForThumbnail(MenuItem item, int index) {
    if (auto ref = model_.ItemAt(ShownImage(), index))
        model_.ChooseOnItem(item, *ref);
}

void TSDIAppForm::OnContextMenu(int x, int y) {
    int row = ListView_GetNextItem(Thumbnails, -1, LVNI_FOCUSED);
    if (x != -1 || y != -1) {
        LVHITTESTINFO hit{};
        hit.pt = {x, y};
        ScreenToClient(Thumbnails, &hit.pt);
        row = ListView_HitTest(Thumbnails, &hit);
    } else if (row >= 0) {
        // From the keyboard: under the focused thumbnail.
        RECT box{};
        ListView_GetItemRect(Thumbnails, row, &box, LVIR_ICON);
        POINT at{box.left + (box.right - box.left) / 2, box.bottom};
        ClientToScreen(Thumbnails, &at);
        x = at.x;
        y = at.y;
    }
    // The items are taken now: a refresh while the menu is open rebuilds the view.
    const std::vector<ItemRef> items = ItemsUnder(row);
    if (items.empty())
        return;
    const bool applies = model_.ItemMenuEnabled(items.front());
    HMENU menu = CreatePopupMenu();
    for (const MenuEntry& entry : MainWindowModel::ItemMenuOf(items.front().image))
        AppendMenuW(menu, MF_STRING | (applies ? MF_ENABLED : MF_GRAYED),
                    static_cast<UINT_PTR>(CommandId(entry.item)),
                    Wide(model_.Caption(entry.item)).c_str());
    Modal popup = MakeModal(ModalKind::Menu, window_, {});
    popup.menu = menu;
    popup.at = {x, y};
    const int id = RunModal(popup);
    DestroyMenu(menu);
    if (auto chosen = ItemOf(id))
        model_.ChooseOnItems(*chosen, items);
}

std::vector<ItemRef> TSDIAppForm::ItemsUnder(int row) const {
    std::vector<ItemRef> items;
    if (auto item = model_.ItemAt(ShownImage(), row))
        items.push_back(*item);
    // A selection of several under the pointer is taken whole.
    if (!items.empty() && (ListView_GetItemState(Thumbnails, row, LVIS_SELECTED) & LVIS_SELECTED))
        for (int i = ListView_GetNextItem(Thumbnails, -1, LVNI_SELECTED); i >= 0;
             i = ListView_GetNextItem(Thumbnails, i, LVNI_SELECTED))
            if (i != row)
                if (auto ref = model_.ItemAt(ShownImage(), i))
                    items.push_back(*ref);
    return items;
}

void TSDIAppForm::DragOver(POINT at) {
    // Over a tab, its image is shown.
    TCHITTESTINFO tab{at, 0};
    MapWindowPoints(window_, Tabs, &tab.pt, 1);
    if (const int index = TabCtrl_HitTest(Tabs, &tab); index >= 0 && index + 1 != ShownImage())
        ShowImage(index + 1);
    ClientToScreen(window_, &at);
    const int row = ThumbnailRowAt(at);
    const auto to = model_.ItemAt(ShownImage(), row);
    const int target = to && model_.TakesItemDrop(dragged_.front(), *to) ? row : -1;
    HighlightDropTarget(target);
    SetCursor(target >= 0 ? copyCursor_ : LoadCursorW(nullptr, IDC_NO));
}

void TSDIAppForm::EndDrag(bool drop) {
    const std::vector<ItemRef> from = std::move(dragged_);
    dragged_.clear();
    const auto to = drop && dropRow_ >= 0 ? model_.ItemAt(ShownImage(), dropRow_) : std::nullopt;
    HighlightDropTarget(-1);
    ReleaseCapture();
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    DestroyCursor(copyCursor_);
    copyCursor_ = nullptr;
    if (to)
        model_.DropItemsOnItem(from, *to);
}

void TSDIAppForm::BuildPanel() {
    // The controls are made once per line and then only given new texts:
    // a link control that is destroyed takes the font it was given with it
    // (under Wine), and a refresh must not change the panel's look.
    const std::vector<SessionLine>& lines = model_.View().panel.lines;
    while (panel_.size() > lines.size()) {
        DestroyWindow(panel_.back().label);
        DestroyWindow(panel_.back().value);
        panel_.pop_back();
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const SessionLine& line = lines[i];
        const bool link = line.role == SessionLine::Role::Folder;
        if (i == panel_.size()) {
            PanelLine p;
            p.label = MakeChild(window_, WC_STATICW, L"", WS_VISIBLE | SS_NOPREFIX);
            SendMessageW(p.label, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_), FALSE);
            panel_.push_back(std::move(p));
        }
        PanelLine& p = panel_[i];
        const bool wasLink = p.value && p.line.role == SessionLine::Role::Folder;
        if (!p.value || wasLink != link) {
            if (p.value)
                DestroyWindow(p.value);
            p.value = link ? MakeChild(window_, WC_LINK, L"", WS_VISIBLE | WS_TABSTOP)
                           : MakeChild(window_, WC_STATICW, L"",
                                       WS_VISIBLE | SS_NOPREFIX | SS_ENDELLIPSIS);
            SendMessageW(p.value, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        }
        p.line = line;
        SetWindowTextW(p.label, Wide(line.label).c_str());
        const std::wstring value =
            link ? L"<a>" + Wide(ShownValue(line)) + L"</a>" : Wide(ShownValue(line));
        SetWindowTextW(p.value, value.c_str());
    }
}

void TSDIAppForm::Draw() {
    if (!window_)
        return;
    const MainView& view = model_.View();
    SetWindowTextW(window_, Wide(view.title).c_str());
    for (const MenuGroup& group : MainMenu())
        for (const MenuEntry& entry : group.entries)
            ModifyMenuW(Menu, static_cast<UINT>(CommandId(entry.item)), MF_BYCOMMAND | MF_STRING,
                        static_cast<UINT_PTR>(CommandId(entry.item)),
                        Wide(EntryText(entry, model_.Caption(entry.item))).c_str());
    for (const Command& command : Commands()) {
        EnableMenuItem(Menu, static_cast<UINT>(CommandId(command.item)),
                       MF_BYCOMMAND | (model_.Offers(command.item) ? MF_ENABLED : MF_GRAYED));
        CheckMenuItem(Menu, static_cast<UINT>(CommandId(command.item)),
                      MF_BYCOMMAND | (model_.Checked(command.item) ? MF_CHECKED : MF_UNCHECKED));
    }
    DrawMenuBar(window_);
    BuildPanel();
    const bool pair = view.images.size() > 1;
    for (int i = 0; pair && i < 2; ++i) {
        std::wstring caption = Wide(view.images[static_cast<std::size_t>(i)].title);
        TCITEMW tab{};
        tab.mask = TCIF_TEXT;
        tab.pszText = caption.data();
        if (TabCtrl_GetItemCount(Tabs) > i)
            TabCtrl_SetItem(Tabs, i, &tab);
        else
            TabCtrl_InsertItem(Tabs, i, &tab);
    }
    ShowWindow(Tabs, pair ? SW_SHOW : SW_HIDE);
    FillThumbnails();
    Layout();
    InvalidateRect(window_, nullptr, TRUE);
}

void TSDIAppForm::ShowImage(int image) {
    model_.ShowImage(image);
    if (ShownImage() != image)
        return;
    TabCtrl_SetCurSel(Tabs, image - 1);
    FillThumbnails();
    Layout();
}

void TSDIAppForm::FillThumbnails() {
    const MainView& view = model_.View();
    if (!view.sessionPage) {
        SetWindowTextW(HintLabel, Wide(view.hint).c_str());
        ShowWindow(HintLabel, SW_SHOW);
        ShowWindow(Thumbnails, SW_HIDE);
        return;
    }
    const int selected = ListView_GetNextItem(Thumbnails, -1, LVNI_SELECTED);
    // Where the grid is scrolled to, in pixels (the origin's sign differs
    // between systems; the scroll bars' positions do not).
    const int scrolledX = GetScrollPos(Thumbnails, SB_HORZ);
    const int scrolledY = GetScrollPos(Thumbnails, SB_VERT);
    const int side = Scaled(ThumbnailSide);
    if (!images_ || !squares_ || side != squares_->Side()) {
        if (images_)
            ImageList_Destroy(images_);
        // A fixed number of places: the thumbnails in view are decoded into
        // them as the list asks for their pictures.
        squares_.emplace(side);
        canvas_.emplace(side);
        images_ = ImageList_Create(side, side, ILC_COLOR32, squares_->Capacity(), 0);
        ImageList_SetImageCount(images_, static_cast<UINT>(squares_->Capacity()));
        ListView_SetImageList(Thumbnails, images_, LVSIL_NORMAL);
        ListView_SetIconSpacing(Thumbnails, side + Scaled(64), side + Scaled(52));
    }
    SendMessageW(Thumbnails, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(Thumbnails);
    dropRow_ = -1; // a drag under way highlights its target again
    const auto& shown = view.images[static_cast<std::size_t>(ShownImage() - 1)].thumbnails;
    // The files may have changed: their squares are decoded again when shown.
    squares_->Show(shown);
    ListView_SetItemCountEx(Thumbnails, static_cast<int>(shown.size()), 0);
    if (selected >= 0 && selected < static_cast<int>(shown.size()))
        ListView_SetItemState(Thumbnails, selected, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
    // Laid out before redrawing is on again, as in MoveThumbnails.
    ListView_Arrange(Thumbnails, LVA_DEFAULT);
    SendMessageW(Thumbnails, WM_SETREDRAW, TRUE, 0);
    // Back to where the grid was (with redrawing off it has no room to
    // scroll yet).
    ListView_Scroll(Thumbnails, scrolledX - GetScrollPos(Thumbnails, SB_HORZ),
                    scrolledY - GetScrollPos(Thumbnails, SB_VERT));
    InvalidateRect(Thumbnails, nullptr, TRUE);
    ShowWindow(HintLabel, SW_HIDE);
    ShowWindow(Thumbnails, SW_SHOW);
}

void TSDIAppForm::WheelOverThumbnails(int delta) {
    const int rows = WheelRows(wheelPending_, delta);
    const int rowHeight = HIWORD(ListView_GetItemSpacing(Thumbnails, FALSE));
    if (rows != 0)
        ListView_Scroll(Thumbnails, 0, rows * rowHeight);
}

int TSDIAppForm::ThumbnailImage(int index) {
    const Thumbnail* thumbnail = model_.ThumbnailAt(ShownImage(), index);
    if (!thumbnail || !images_)
        return -1;
    const ThumbnailSquares::Place place = squares_->Take(index);
    if (place.square) {
        if (!canvas_->Put(images_, place.slot, *place.square))
            return -1;
        ++decoded_;
    }
    return place.slot;
}

std::vector<std::pair<std::wstring, bool>> TSDIAppForm::ThumbnailTexts() const {
    std::vector<std::pair<std::wstring, bool>> texts;
    for (int i = 0; i < ListView_GetItemCount(Thumbnails); ++i) {
        wchar_t buffer[512] = {};
        ListView_GetItemText(Thumbnails, i, 0, buffer, 512);
        const Thumbnail* shown = model_.ThumbnailAt(ShownImage(), i);
        texts.emplace_back(buffer, shown && MarkOf(*shown) == Mark::Refused);
    }
    return texts;
}

void TSDIAppForm::OpenThumbnail(int index) {
    if (auto item = model_.ItemAt(ShownImage(), index))
        model_.ActivateItem(*item);
}

void TSDIAppForm::WatchWorkFolders() {
    for (const std::string& folder : model_.Watched(false)) {
        HANDLE watch = FindFirstChangeNotificationW(
            SystemPathFromUtf8(folder).c_str(), FALSE,
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
            model_.FilesChanged(static_cast<std::int64_t>(GetTickCount64()));
        }
    AskRefresh();
}

void TSDIAppForm::AskRefresh() {
    const int wait = model_.RefreshDue(static_cast<std::int64_t>(GetTickCount64()));
    if (!window_)
        return;
    if (wait >= 0)
        SetTimer(window_, RefreshTimer, std::max<UINT>(static_cast<UINT>(wait), USER_TIMER_MINIMUM),
                 nullptr);
    else
        KillTimer(window_, RefreshTimer);
}

void TSDIAppForm::OnMenuSelect(UINT id, UINT flags, HMENU menu) {
    if (flags == 0xFFFF && !menu) {
        menuHint_.clear();
        SendMessageW(StatusBar1, SB_SIMPLE, FALSE, 0);
        return;
    }
    std::string hint;
    if ((flags & MF_POPUP) && menu == Menu && id < MainMenu().size())
        hint = LongHint(MainMenu()[id].hint);
    else if (const auto item = ItemOf(static_cast<int>(id)); item && !(flags & MF_POPUP))
        hint = model_.Hint(*item);
    menuHint_ = Wide(hint);
    SendMessageW(StatusBar1, SB_SIMPLE, TRUE, 0);
    SendMessageW(StatusBar1, SB_SETTEXTW, SB_SIMPLEID | SBT_NOBORDERS,
                 reinterpret_cast<LPARAM>(menuHint_.c_str()));
}

LRESULT TSDIAppForm::OnNotify(NMHDR* header) {
    if (header->hwndFrom == Tabs && header->code == TCN_SELCHANGE) {
        ShowImage(TabCtrl_GetCurSel(Tabs) + 1);
        return 0;
    }
    if (header->hwndFrom == Thumbnails) {
        switch (header->code) {
        case LVN_ITEMACTIVATE:
            OpenThumbnail(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
            return 0;
        case LVN_BEGINDRAG:
            // Image 2's thumbnails are dragged onto image 1's, with the mouse captured.
            if (ShownImage() == 2 && !model_.Busy())
                dragged_ = ItemsUnder(reinterpret_cast<NMLISTVIEW*>(header)->iItem);
            if (!dragged_.empty()) {
                copyCursor_ = MakeCopyCursor();
                SetCapture(window_);
            }
            return 0;
        case LVN_GETDISPINFOW: {
            auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
            const Thumbnail* shown = model_.ThumbnailAt(ShownImage(), info->item.iItem);
            if ((info->item.mask & LVIF_TEXT) && info->item.cchTextMax > 0)
                lstrcpynW(info->item.pszText, shown ? Wide(shown->Text()).c_str() : L"",
                          info->item.cchTextMax);
            if (info->item.mask & LVIF_IMAGE)
                info->item.iImage = ThumbnailImage(info->item.iItem);
            if ((info->item.mask & LVIF_STATE) && (info->item.stateMask & LVIS_DROPHILITED))
                info->item.state = (info->item.state & ~LVIS_DROPHILITED) |
                                   (info->item.iItem == dropRow_ ? LVIS_DROPHILITED : 0);
            return 0;
        }
        case LVN_ODFINDITEMW: {
            // Typing a name's start: the list holds no texts of its own to search.
            const auto& asked = *reinterpret_cast<NMLVFINDITEMW*>(header);
            const LVFINDINFOW& find = asked.lvfi;
            if (!(find.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.psz)
                return -1;
            return model_.FindThumbnail(ShownImage(), Utf8FromWide(find.psz), asked.iStart,
                                        (find.flags & LVFI_WRAP) != 0,
                                        (find.flags & LVFI_PARTIAL) == 0);
        }
        case LVN_GETINFOTIPW: {
            auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(header);
            if (const Thumbnail* shown = model_.ThumbnailAt(ShownImage(), tip->iItem))
                lstrcpynW(tip->pszText, Wide(shown->Tip()).c_str(), tip->cchTextMax);
            return 0;
        }
        case NM_CUSTOMDRAW: {
            auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
            if (draw->nmcd.dwDrawStage == CDDS_PREPAINT)
                return CDRF_NOTIFYITEMDRAW;
            const Thumbnail* shown =
                model_.ThumbnailAt(ShownImage(), static_cast<int>(draw->nmcd.dwItemSpec));
            const Mark mark = shown ? MarkOf(*shown) : Mark::None;
            if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && mark == Mark::Refused)
                draw->clrText = RGB(0xC0, 0x00, 0x00);
            else if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && mark == Mark::Edited)
                draw->clrText = RGB(0x10, 0x60, 0xD0);
            if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && shown &&
                DifferenceMarkOf(*shown) == Mark::Differs)
                draw->clrTextBk = RGB(0xFF, 0xEC, 0xB0);
            return CDRF_DODEFAULT;
        }
        }
    }
    if (header->code == NM_CLICK || header->code == NM_RETURN) {
        for (const PanelLine& line : panel_)
            if (line.value == header->hwndFrom)
                model_.FollowLink(line.line.value);
    }
    return 0;
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
        if (auto item = lParam == 0 ? ItemOf(LOWORD(wParam)) : std::nullopt)
            Choose(*item);
        return 0;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<NMHDR*>(lParam));
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == Thumbnails) {
            OnContextMenu(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return 0;
        }
        break;
    case WM_MENUSELECT:
        OnMenuSelect(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
        return 0;
    case WM_EXITMENULOOP:
        OnMenuSelect(0, 0xFFFF, nullptr);
        return 0;
    case WM_SIZE:
        if (wParam == SIZE_MAXIMIZED || wParam == SIZE_RESTORED)
            maximised_ = wParam == SIZE_MAXIMIZED;
        if (wParam == SIZE_RESTORED)
            GetWindowRect(window_, &normalRect_);
        Layout();
        return 0;
    case WM_MOVE:
        if (!IsZoomed(window_) && !IsIconic(window_))
            GetWindowRect(window_, &normalRect_);
        return 0;
    case WM_SETFOCUS:
        // The keyboard works in the thumbnails: arrows, Enter opens a file.
        if (GetWindowLongW(Thumbnails, GWL_STYLE) & WS_VISIBLE)
            SetFocus(Thumbnails);
        return 0;
    case WM_GETMINMAXINFO: {
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = {Scaled(MinimumWindowWidth), Scaled(MinimumWindowHeight)};
        return 0;
    }
    case WM_DPICHANGED: {
        dpi_ = HIWORD(wParam);
        UpdateFonts();
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
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
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            model_.WindowActivated();
        else
            model_.WindowDeactivated();
        break;
    case WM_TIMER:
        if (wParam == WatchTimer)
            OnTimer();
        else if (wParam == RefreshTimer)
            AskRefresh();
        return 0;
    case WM_DROPFILES: {
        auto drop = reinterpret_cast<HDROP>(wParam);
        if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
            const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
            std::wstring path(length + 1, L'\0');
            DragQueryFileW(drop, 0, path.data(), length + 1);
            path.resize(length);
            POINT at{};
            DragQueryPoint(drop, &at);
            ClientToScreen(window_, &at);
            TakeDroppedFile(path, at);
        }
        DragFinish(drop);
        return 0;
    }
    case DroppedMessage: {
        const std::wstring path = std::move(pendingDrop_);
        pendingDrop_.clear();
        if (!pendingOnItem_)
            OpenDropped(path);
        else if (pendingItem_)
            model_.DropOnItem(*pendingItem_, Utf8FromWide(path));
        return 0;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
        if (dragged_.empty())
            break;
        DragOver({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        if (message == WM_LBUTTONUP)
            EndDrag(true);
        return 0;
    case WM_CAPTURECHANGED:
        if (!dragged_.empty())
            EndDrag(false);
        return 0;
    case WM_CLOSE:
        if (model_.CloseButton())
            DestroyWindow(window_);
        return 0;
    case WM_DESTROY:
        RevokeDragDrop(window_);
        KillTimer(window_, WatchTimer);
        KillTimer(window_, RefreshTimer);
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

bool TSDIAppForm::HandleKey(UINT key, bool control, bool shift) {
    if (!window_ || model_.Busy())
        return false;
    if (key == VK_TAB && control) {
        // Ctrl+Tab and Ctrl+Shift+Tab: the other image's thumbnails.
        if (model_.View().images.size() < 2)
            return false;
        ShowImage(ShownImage() == 1 ? 2 : 1);
        SetFocus(Thumbnails);
        return true;
    }
    if (key == VK_ESCAPE && !dragged_.empty()) {
        EndDrag(false);
        return true;
    }
    if (key == VK_RETURN && GetFocus() == Thumbnails) {
        OpenThumbnail(ListView_GetNextItem(Thumbnails, -1, LVNI_FOCUSED));
        return true;
    }
    if (key == VK_TAB) {
        // Between the panel's link, the image tabs and the thumbnails.
        HWND next = GetNextDlgTabItem(window_, GetFocus(), shift);
        if (next)
            SetFocus(next);
        return next != nullptr;
    }
    return false;
}

int RunMessageLoop(TSDIAppForm& form) {
    MSG msg{};
    while (form.IsOpen() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (form.IsOpen() && TranslateAcceleratorW(form.Handle(), form.Shortcuts(), &msg))
            continue;
        if (msg.message == WM_KEYDOWN && form.IsOpen() &&
            (msg.hwnd == form.Handle() || IsChild(form.Handle(), msg.hwnd)) &&
            form.HandleKey(static_cast<UINT>(msg.wParam), GetKeyState(VK_CONTROL) < 0,
                           GetKeyState(VK_SHIFT) < 0))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

} // namespace zantrel
