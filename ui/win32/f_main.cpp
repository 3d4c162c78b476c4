// The desktop window drawn with Windows' own controls: a plain window class, a tab control, static labels,
// a list box and push buttons, laid out as ui/f_main_layout.h gives.
#include <windows.h>
// The common controls need the window types above.
#include <commctrl.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/win32/wide.h"
#include "ui/f_main.h"
#include "ui/f_main_layout.h"

namespace ferrolo::ui {

namespace {

constexpr const wchar_t* kWindowClass = L"TF_Main";
constexpr const wchar_t* kSheetClass = L"TTabSheet";
// How long the message loop waits for a message before it looks for Ctrl+C and termination requests.
constexpr DWORD kInterruptPollMilliseconds = 100;
// The desktop's 8-point sans serif, as the window was drawn for.
constexpr int kFontHeight = -11;
constexpr int kTraceItemHeight = 13;
// Control identifiers: none is IDOK or IDCANCEL, which Enter and Escape send through the dialog keys.
constexpr int kFirstButtonId = 100;
constexpr int kFirstValueId = 200;
constexpr int kTabCount = 2;

// Timer identifiers: 0 names no timer.
UINT_PTR timer_id(core::Timer timer) {
    return static_cast<UINT_PTR>(timer) + 1;
}

// Windows has no message box with only Abort and Ignore: the box with Retry besides, Retry greyed out
// by this hook while it is installed. The captions are the system's, in the user's language.
LRESULT CALLBACK grey_out_retry(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE) {
        EnableWindow(GetDlgItem(reinterpret_cast<HWND>(wparam), IDRETRY), FALSE);
    }
    // The hook handle is ignored here: the hooks of this thread are chained by the system.
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// A tab sheet only holds controls: what they tell their parent is the form's business.
LRESULT CALLBACK sheet_procedure(HWND sheet, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COMMAND || message == WM_CTLCOLORSTATIC) {
        return SendMessageW(GetParent(sheet), message, wparam, lparam);
    }
    return DefWindowProcW(sheet, message, wparam, lparam);
}

void register_class(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    window_class.lpszClassName = name;
    // A second window of the process finds the class already there.
    RegisterClassExW(&window_class);
}

// A control at `place` in `parent`'s client area, in the window's font.
HWND child(HWND parent, const wchar_t* window_class, const std::wstring& text, DWORD style, RECT place,
           HFONT font, int id = 0, DWORD extended_style = 0) {
    const HWND control = CreateWindowExW(
        extended_style, window_class, text.c_str(), WS_CHILD | style, place.left, place.top,
        place.right - place.left, place.bottom - place.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

// How wide `text` is drawn in `font` on `window`'s display.
int text_width(HWND window, HFONT font, const std::wstring& text) {
    const HDC device = GetDC(window);
    const HGDIOBJ previous = SelectObject(device, font);
    SIZE size{};
    GetTextExtentPoint32W(device, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(device, previous);
    ReleaseDC(window, device);
    return size.cx;
}

RECT place(int left, int top, int width, int height) {
    return {left, top, left + width, top + height};
}

}  // namespace

// The controls belong to the form, which destroys them with itself; the handles only name them.
struct F_Main::Widgets {
    explicit Widgets(F_Main& owner);
    ~Widgets();
    Widgets(const Widgets&) = delete;
    Widgets& operator=(const Widgets&) = delete;

    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    void show_page(int page);

    F_Main& owner;
    HFONT font = nullptr;
    HWND window = nullptr;  // the form itself, "F_Main"
    HWND PageControl = nullptr;
    std::array<HWND, kTabCount> sheets{};             // TabSheet1 "Copia" and TS_Trace "Tracing"
    std::array<HWND, layout::kRows.size()> values{};  // in the order of core::Label
    std::array<std::string, layout::kRows.size()> texts;
    HWND lb_trace = nullptr;
    HWND btn_start = nullptr;
};

F_Main::Widgets::Widgets(F_Main& form)
    : owner(form),
      font(CreateFontW(kFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       L"MS Sans Serif")) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    register_class(kWindowClass, window_procedure);
    register_class(kSheetClass, sheet_procedure);

    // A fixed single border with the system menu and the minimise box only, centred on the screen.
    constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame{0, 0, layout::kWidth, layout::kHeight};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    window = CreateWindowExW(0, kWindowClass, L"Ferrolo", kStyle, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                             (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr,
                             GetModuleHandleW(nullptr), this);
    if (window == nullptr) {
        return;
    }

    PageControl = child(window, WC_TABCONTROLW, L"", WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP,
                        place(0, 0, layout::kWidth, layout::kPanelTop), font);
    for (const wchar_t* tab : {L"Copia", L"Tracing"}) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(tab);
        SendMessageW(PageControl, TCM_INSERTITEMW, TabCtrl_GetItemCount(PageControl),
                     reinterpret_cast<LPARAM>(&item));
    }
    // A sheet fills the tab control's display area, what its tab strip and border leave; the sheets stand
    // above the tab control, which draws only around them.
    RECT sheet{0, 0, layout::kWidth, layout::kPanelTop};
    TabCtrl_AdjustRect(PageControl, FALSE, &sheet);
    for (HWND& created : sheets) {
        created = child(window, kSheetClass, L"", WS_CLIPSIBLINGS, sheet, font, 0, WS_EX_CONTROLPARENT);
    }
    SetWindowPos(PageControl, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    const int sheet_width = sheet.right - sheet.left, sheet_height = sheet.bottom - sheet.top;

    child(sheets[0], L"BUTTON", L" Situazione copia ", WS_VISIBLE | BS_GROUPBOX,
          place(0, 0, sheet_width, sheet_height), font);
    for (const layout::Row& row : layout::kRows) {
        // An auto-sized caption at its place; a font wider than the desktop's pushes it to the left instead
        // of under the field.
        const std::wstring caption = platform::win32::to_wide(row.caption);
        const int caption_left =
            std::min(row.caption_left, row.value_left - text_width(window, font, caption));
        child(sheets[0], L"STATIC", caption, WS_VISIBLE | SS_LEFTNOWORDWRAP,
              place(caption_left, row.top, row.value_left - caption_left, layout::kRowHeight), font);
        // Shown as they are: a file name holding "&" has no shortcut in it.
        const auto index = static_cast<size_t>(row.label);
        values[index] = child(sheets[0], L"STATIC", L"",
                              WS_VISIBLE | SS_NOPREFIX | (row.right_aligned ? SS_RIGHT : SS_LEFTNOWORDWRAP),
                              place(row.value_left, row.top, row.value_width, layout::kRowHeight), font,
                              kFirstValueId + static_cast<int>(index));
    }
    lb_trace = child(sheets[1], L"LISTBOX", L"", WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT,
                     place(0, 0, sheet_width, sheet_height), font, 0, WS_EX_CLIENTEDGE);
    SendMessageW(lb_trace, LB_SETITEMHEIGHT, 0, kTraceItemHeight);
    for (size_t index = 0; index < layout::kButtons.size(); ++index) {
        const layout::Button& button = layout::kButtons[index];
        const HWND created = child(window, L"BUTTON", platform::win32::to_wide(button.text),
                                   WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                   place(button.left, layout::kPanelTop + layout::kButtonTop,
                                         layout::kButtonWidth, layout::kButtonHeight),
                                   font, kFirstButtonId + static_cast<int>(index));
        btn_start = btn_start != nullptr ? btn_start : created;
    }
    show_page(0);
}

F_Main::Widgets::~Widgets() {
    if (window != nullptr) {
        DestroyWindow(window);
    }
    DeleteObject(font);
}

void F_Main::Widgets::show_page(int page) {
    for (int shown = 0; shown < kTabCount; ++shown) {
        ShowWindow(sheets[static_cast<size_t>(shown)], shown == page ? SW_SHOW : SW_HIDE);
    }
}

LRESULT CALLBACK F_Main::Widgets::window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* widgets = reinterpret_cast<Widgets*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    // Messages before WM_NCCREATE, or after the form has let its window go, get the defaults.
    if (widgets == nullptr || widgets->window != window) {
        return DefWindowProcW(window, message, wparam, lparam);
    }
    return widgets->handle(message, wparam, lparam);
}

LRESULT F_Main::Widgets::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND: {
            const int button = LOWORD(wparam) - kFirstButtonId;
            if (HIWORD(wparam) == BN_CLICKED && button >= 0 &&
                button < static_cast<int>(layout::kButtons.size())) {
                owner.deliver(layout::kButtons[static_cast<size_t>(button)].pressed);
            }
            return 0;
        }
        case WM_TIMER:
            // A timer fires again after its interval until disarmed, whatever its handler does.
            owner.deliver(wparam == timer_id(core::Timer::T_Go) ? &core::WindowEvents::T_GoTimer
                                                                : &core::WindowEvents::T_ShutDownTimer);
            return 0;
        case WM_NOTIFY:
            if (reinterpret_cast<const NMHDR*>(lparam)->code == TCN_SELCHANGE) {
                show_page(TabCtrl_GetCurSel(PageControl));
            }
            return 0;
        case WM_CTLCOLORSTATIC: {
            // Value labels have a background of their own, so an empty one still shows as a field.
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
            if (id < kFirstValueId || id >= kFirstValueId + static_cast<int>(values.size())) {
                break;
            }
            const auto device = reinterpret_cast<HDC>(wparam);
            SetTextColor(device, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(device, GetSysColor(COLOR_HIGHLIGHTTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_HIGHLIGHTTEXT));
        }
        // The close box, and the end of the user's session, act as "Chiudi".
        case WM_CLOSE:
            owner.deliver(&core::WindowEvents::btn_chiudiClick);
            return 0;
        case WM_QUERYENDSESSION:
            owner.deliver(&core::WindowEvents::btn_chiudiClick);
            return TRUE;
        default:
            break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

std::unique_ptr<F_Main> F_Main::open() {
    std::unique_ptr<F_Main> form(new F_Main());
    return form->widgets_->window != nullptr ? std::move(form) : nullptr;
}

F_Main::F_Main() : widgets_(std::make_unique<Widgets>(*this)) {}

F_Main::~F_Main() = default;

void F_Main::run(core::WindowEvents& events) {
    events_ = &events;
    if (!closed_) {
        ShowWindow(widgets_->window, SW_SHOWNORMAL);
        UpdateWindow(widgets_->window);
    }
    while (!closed_) {
        // Console control events do not wake the message queue: they are looked for between short waits.
        MsgWaitForMultipleObjectsEx(0, nullptr, kInterruptPollMilliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        process_messages();
    }
    events_ = nullptr;
}

void F_Main::set_label(core::Label label, std::string_view text) {
    const auto index = static_cast<size_t>(label);
    if (text != widgets_->texts[index]) {
        widgets_->texts[index] = text;
        SetWindowTextW(widgets_->values[index], platform::win32::to_wide(text).c_str());
    }
}

void F_Main::append_trace(std::string_view line) {
    const LRESULT added = SendMessageW(widgets_->lb_trace, LB_ADDSTRING, 0,
                                       reinterpret_cast<LPARAM>(platform::win32::to_wide(line).c_str()));
    // Selected, the new line scrolls into view.
    if (added >= 0) {
        SendMessageW(widgets_->lb_trace, LB_SETCURSEL, static_cast<WPARAM>(added), 0);
    }
}

void F_Main::process_messages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        // Tab moves between the controls and Space presses a button, as in a dialog.
        if (!IsDialogMessageW(widgets_->window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    take_interrupts();
}

void F_Main::enable_start(bool enabled) {
    EnableWindow(widgets_->btn_start, enabled);
}

void F_Main::set_caption(std::string_view caption) {
    SetWindowTextW(widgets_->window, platform::win32::to_wide(caption).c_str());
}

void F_Main::select_first_tab() {
    TabCtrl_SetCurSel(widgets_->PageControl, 0);
    widgets_->show_page(0);
}

core::MessageAnswer F_Main::show_message(std::string_view title, std::string_view text,
                                         core::MessageButtons buttons) {
    const bool retry_offered = buttons == core::MessageButtons::AbortRetryIgnore;
    const UINT style =
        buttons == core::MessageButtons::Ok
            ? MB_OK
            : MB_ABORTRETRYIGNORE | MB_ICONWARNING | (retry_offered ? MB_DEFBUTTON2 : MB_DEFBUTTON1);
    const HHOOK hook = buttons == core::MessageButtons::AbortIgnore
                           ? SetWindowsHookExW(WH_CBT, grey_out_retry, nullptr, GetCurrentThreadId())
                           : nullptr;
    const int pressed = MessageBoxW(widgets_->window, platform::win32::to_wide(text).c_str(),
                                    platform::win32::to_wide(title).c_str(), style | MB_SETFOREGROUND);
    if (hook != nullptr) {
        UnhookWindowsHookEx(hook);
    }
    switch (pressed) {
        case IDOK:
            return core::MessageAnswer::Ok;
        case IDABORT:
            return core::MessageAnswer::Abort;
        case IDRETRY:
            return core::MessageAnswer::Retry;
        default:
            // Ignore, or no box at all: the answer of a front end that cannot wait.
            return buttons == core::MessageButtons::Ok ? core::MessageAnswer::Ok
                                                       : core::MessageAnswer::Ignore;
    }
}

void F_Main::arm_timer(core::Timer timer, std::chrono::milliseconds interval) {
    SetTimer(widgets_->window, timer_id(timer), static_cast<UINT>(interval.count()), nullptr);
}

void F_Main::disarm_timer(core::Timer timer) {
    KillTimer(widgets_->window, timer_id(timer));
}

void F_Main::close() {
    closed_ = true;
    for (const core::Timer timer : {core::Timer::T_Go, core::Timer::T_ShutDown}) {
        disarm_timer(timer);
    }
    ShowWindow(widgets_->window, SW_HIDE);
}

}  // namespace ferrolo::ui
