#include "win/about1.h"

#include <commctrl.h>

#include "base/unicode.h"

#include "win/modal.h"
#include "win/resource.h"

namespace zantrel {

namespace {

bool Ticked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Tick(HWND box, bool on) {
    SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

} // namespace

TAboutBox1::TAboutBox1(HWND owner) : OpenDirectory1(owner) {
    for (COLORREF& colour : customColours_)
        colour = RGB(255, 255, 255);
    window_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), owner,
                                 DialogProc, reinterpret_cast<LPARAM>(this));
    const auto item = [this](int id) { return GetDlgItem(window_, id); };
    GroupBox1 = item(IDC_GROUPBOX1);
    GroupBox2 = item(IDC_GROUPBOX2);
    GroupBox3 = item(IDC_GROUPBOX3);
    CheckBox1 = item(IDC_CHECKBOX1);
    CheckBox2 = item(IDC_CHECKBOX2);
    CheckBox3 = item(IDC_CHECKBOX3);
    CheckBox4 = item(IDC_CHECKBOX4);
    CheckBox5 = item(IDC_CHECKBOX5);
    Shape1 = item(IDC_SHAPE1);
    WorkFolderLabel = item(IDC_WORKFOLDER);
    Button1 = item(IDCANCEL);
    Button2 = item(IDOK);
    const auto say = [](HWND control, std::string_view text) {
        SetWindowTextW(control, WideFromUtf8(text).c_str());
    };
    say(window_, SettingsCaption);
    say(CheckBox1, CheckBox1Caption);
    say(CheckBox2, CheckBox2Caption);
    say(CheckBox3, CheckBox3Caption);
    say(CheckBox4, CheckBox4Caption);
    say(CheckBox5, CheckBox5Caption);
    say(item(IDC_WORKFOLDERCAPTION), WorkFolderCaption);
    say(Button1, CancelCaption);
    say(Button2, OkCaption);

    tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(WorkFolderLabel);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 600);

    OpenDirectory1.Title = WideFromUtf8(FolderPickerTitle);
    OpenDirectory1.EnableSizing = true;
    FormCreate();
}

TAboutBox1::~TAboutBox1() {
    if (window_)
        DestroyWindow(window_);
    if (swatch_)
        DeleteObject(swatch_);
}

void TAboutBox1::FormCreate() {
    zantrel::FormCreate(state_);
    ShowState();
}

const SettingsDialogState& TAboutBox1::CurrentState() {
    state_.checkBox1 = Ticked(CheckBox1);
    state_.checkBox2 = Ticked(CheckBox2);
    state_.checkBox3 = Ticked(CheckBox3);
    state_.checkBox4 = Ticked(CheckBox4);
    state_.checkBox5 = Ticked(CheckBox5);
    return state_;
}

void TAboutBox1::ShowState() {
    Tick(CheckBox1, state_.checkBox1);
    Tick(CheckBox2, state_.checkBox2);
    Tick(CheckBox3, state_.checkBox3);
    Tick(CheckBox4, state_.checkBox4);
    Tick(CheckBox5, state_.checkBox5);
    EnableWindow(CheckBox5, state_.checkBox5Enabled);
    EnableWindow(Shape1, state_.shape1Enabled);
    const Rgb shown = state_.shape1Colour;
    const COLORREF colour = RGB(shown.red, shown.green, shown.blue);
    if (!swatch_ || colour != shape1Colour_) {
        if (swatch_)
            DeleteObject(swatch_);
        swatch_ = CreateSolidBrush(colour);
        shape1Colour_ = colour;
    }
    InvalidateRect(Shape1, nullptr, TRUE);

    tip_ = WideFromUtf8(ShownWorkFolder(state_));
    SetWindowTextW(WorkFolderLabel, WideFromUtf8(ShortWorkFolder(state_)).c_str());
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(WorkFolderLabel);
    tool.lpszText = tip_.data();
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TAboutBox1::CheckBox4Click() {
    CurrentState();
    zantrel::CheckBox4Click(state_);
    ShowState();
}

void TAboutBox1::CheckBox5Click() {
    CurrentState();
    Modal ColorDialog1;
    ColorDialog1.kind = ModalKind::Colour;
    ColorDialog1.owner = window_;
    ColorDialog1.colour = colorDialog1Colour_;
    ColorDialog1.customColours = customColours_;
    std::optional<Rgb> picked;
    if (RunModal(ColorDialog1) == IDOK) {
        colorDialog1Colour_ = ColorDialog1.colour & 0xFFFFFF;
        picked = Rgb{GetRValue(colorDialog1Colour_), GetGValue(colorDialog1Colour_),
                     GetBValue(colorDialog1Colour_)};
    }
    zantrel::CheckBox5Click(state_, picked);
    ShowState();
}

void TAboutBox1::CheckBox3Click() {
    CurrentState();
    std::optional<std::string> picked;
    if (state_.checkBox3) {
        OpenDirectory1.InitialDirectory = WideFromUtf8(CurrentWorkFolder());
        if (OpenDirectory1.Execute())
            // A folder reached by a network path alone is its network form.
            picked = Utf8FromWide(OpenDirectory1.Directory().empty() ? OpenDirectory1.UncDirectory()
                                                                     : OpenDirectory1.Directory());
    }
    zantrel::CheckBox3Click(state_, picked);
    ShowState();
}

INT_PTR CALLBACK TAboutBox1::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<TAboutBox1*>(GetWindowLongPtrW(window, DWLP_USER));
    return self ? self->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR TAboutBox1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DRAWITEM: {
        // The swatch: its colour in a frame, disabled or not (the box beside
        // it shows the state), and the focus ring inside while it has the keyboard.
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        RECT inside = item->rcItem;
        FrameRect(item->hDC, &inside, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&inside, -1, -1);
        FillRect(item->hDC, &inside, swatch_);
        InflateRect(&inside, -1, -1);
        if (item->itemState & ODS_FOCUS)
            DrawFocusRect(item->hDC, &inside);
        return TRUE;
    }
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        // Enter goes to the default button: on the swatch it is the swatch's, as Space is.
        if (id == IDOK && GetFocus() == Shape1)
            id = IDC_SHAPE1;
        if (code == BN_CLICKED && (id == IDOK || id == IDCANCEL)) {
            EndModalWindow(window_, id);
            return TRUE;
        }
        if (code == BN_CLICKED && id == IDC_CHECKBOX3)
            CheckBox3Click();
        else if (code == BN_CLICKED && id == IDC_CHECKBOX4)
            CheckBox4Click();
        else if (code == BN_CLICKED && id == IDC_CHECKBOX5)
            CheckBox5Click();
        else if (code == BN_CLICKED && id == IDC_SHAPE1 && IsWindowEnabled(CheckBox5)) {
            // A click on the swatch is a tick of the colour box.
            Tick(CheckBox5, true);
            CheckBox5Click();
        }
        return TRUE;
    }
    case WM_SHOWWINDOW:
        // Each showing starts on OK, as a fresh dialog would.
        if (wParam)
            PostMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Button2), TRUE);
        return FALSE;
    case WM_CLOSE:
        EndModalWindow(window_, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

} // namespace zantrel
