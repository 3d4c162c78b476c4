#include "ui/f_main.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Tabs.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <array>
#include <string>

#include "ui/f_main_layout.h"

namespace ferrolo::ui {

namespace {

// How long the message loop waits for the display before it looks for Ctrl+C and termination requests.
constexpr double kInterruptPollSeconds = 0.1;
constexpr int kTabStripHeight = 24;
constexpr int kSheetLeft = 4;  // the tab sheet's place inside the tab control
// An 8-point sans serif, as on the desktop the window was drawn for.
constexpr Fl_Font kFont = FL_HELVETICA;
constexpr Fl_Fontsize kFontSize = 10;

// A value label: a field of fixed size with its own background, so an empty one still shows. Its text is
// drawn as it is: a file name holding "@" or "&" is no symbol or shortcut.
class ValueLabel final : public Fl_Box {
public:
    ValueLabel(int x, int y, int width, Fl_Align side)
        : Fl_Box(FL_FLAT_BOX, x, y, width, layout::kRowHeight, nullptr), side_(side) {
        color(FL_WHITE);
    }
    void text(std::string_view text) {
        if (text != text_) {
            text_ = text;
            redraw();
        }
    }

protected:
    void draw() override {
        draw_box();
        fl_push_clip(x(), y(), w(), h());
        fl_font(kFont, kFontSize);
        fl_color(FL_FOREGROUND_COLOR);
        fl_draw(text_.c_str(), x() + 1, y(), w() - 2, h(), side_, nullptr, 0);
        fl_pop_clip();
    }

private:
    const Fl_Align side_;
    std::string text_;
};

// A caption label, set against its value label: a font wider than the desktop's pushes it to the left
// instead of under the field.
void caption(int left, int top, int value_left, const char* text) {
    constexpr int kGap = 3;
    auto* label = new Fl_Box(left, top, value_left - kGap - left, layout::kRowHeight, text);
    label->labelfont(kFont);
    label->labelsize(kFontSize);
    label->align(FL_ALIGN_RIGHT | FL_ALIGN_INSIDE);
}

Fl_Button* button(const layout::Button& place) {
    auto* pressed = new Fl_Button(place.left, layout::kPanelTop + layout::kButtonTop, layout::kButtonWidth,
                                  layout::kButtonHeight, place.text);
    pressed->labelfont(kFont);
    pressed->labelsize(kFontSize);
    return pressed;
}

}  // namespace

// The widgets belong to the window, which deletes them with itself; the pointers only name them.
struct F_Main::Widgets {
    // A timer fires again after `interval` until disarmed, as the desktop's timers do.
    struct TimerSlot {
        F_Main* owner = nullptr;
        void (core::WindowEvents::*handler)() = nullptr;
        double interval_seconds = 0;

        static void ticked(void* data) {
            auto& slot = *static_cast<TimerSlot*>(data);
            // Re-armed before the handler runs, which may disarm it, or run a whole job inside.
            Fl::repeat_timeout(slot.interval_seconds, ticked, data);
            slot.owner->deliver(slot.handler);
        }
    };

    template <void (core::WindowEvents::*handler)()>
    static void pressed(Fl_Widget*, void* form) {
        static_cast<F_Main*>(form)->deliver(handler);
    }

    explicit Widgets(F_Main& owner);
    ValueLabel& value(core::Label label) { return *values[static_cast<size_t>(label)]; }
    TimerSlot& slot(core::Timer timer) { return timers[static_cast<size_t>(timer)]; }

    std::unique_ptr<Fl_Double_Window> window;  // the form itself, "F_Main"
    Fl_Tabs* PageControl = nullptr;
    Fl_Group* TabSheet1 = nullptr;
    std::array<ValueLabel*, 6> values{};  // in the order of core::Label
    Fl_Hold_Browser* lb_trace = nullptr;
    Fl_Button* btn_start = nullptr;
    std::array<TimerSlot, 2> timers;  // T_Go, T_ShutDown
};

F_Main::Widgets::Widgets(F_Main& owner)
    : window(std::make_unique<Fl_Double_Window>(layout::kWidth, layout::kHeight, "Ferrolo")),
      timers{TimerSlot{&owner, &core::WindowEvents::T_GoTimer},
             TimerSlot{&owner, &core::WindowEvents::T_ShutDownTimer}} {
    window->xclass("Ferrolo");
    window->labelfont(kFont);

    PageControl = new Fl_Tabs(0, 0, layout::kWidth, layout::kPanelTop);
    PageControl->labelsize(kFontSize);
    const int sheet_top = kTabStripHeight;
    TabSheet1 = new Fl_Group(kSheetLeft, sheet_top, layout::kSheetWidth, layout::kSheetHeight, "Copia");
    TabSheet1->labelsize(kFontSize);
    {
        auto* GroupBox1 = new Fl_Group(kSheetLeft, sheet_top, layout::kSheetWidth, layout::kSheetHeight,
                                       " Situazione copia ");
        GroupBox1->box(FL_ENGRAVED_FRAME);
        GroupBox1->labelsize(kFontSize);
        GroupBox1->align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE);
        for (const layout::Row& row : layout::kRows) {
            const int top = sheet_top + row.top;
            const int value_left = kSheetLeft + row.value_left;
            caption(kSheetLeft + row.caption_left, top, value_left, row.caption);
            values[static_cast<size_t>(row.label)] = new ValueLabel(
                value_left, top, row.value_width, row.right_aligned ? FL_ALIGN_RIGHT : FL_ALIGN_LEFT);
        }
        GroupBox1->end();
    }
    TabSheet1->end();
    auto* TS_Trace =
        new Fl_Group(kSheetLeft, sheet_top, layout::kSheetWidth, layout::kSheetHeight, "Tracing");
    TS_Trace->labelsize(kFontSize);
    lb_trace = new Fl_Hold_Browser(kSheetLeft, sheet_top, layout::kSheetWidth, layout::kSheetHeight);
    lb_trace->textfont(kFont);
    lb_trace->textsize(kFontSize);
    // Trace lines are shown as they are: no formatting codes, no columns.
    lb_trace->format_char(0);
    lb_trace->column_char(0);
    TS_Trace->end();
    PageControl->end();

    auto* Panel1 = new Fl_Group(0, layout::kPanelTop, layout::kWidth, layout::kHeight - layout::kPanelTop);
    btn_start = button(layout::kButtons[0]);
    btn_start->callback(pressed<layout::kButtons[0].pressed>, &owner);
    button(layout::kButtons[1])->callback(pressed<layout::kButtons[1].pressed>, &owner);
    button(layout::kButtons[2])->callback(pressed<layout::kButtons[2].pressed>, &owner);
    Panel1->end();
    window->end();

    // FLTK calls the window's callback for Escape too; only the close box stands for "Chiudi".
    window->callback(
        [](Fl_Widget*, void* form) {
            if (Fl::event() == FL_CLOSE) {
                static_cast<F_Main*>(form)->deliver(&core::WindowEvents::btn_chiudiClick);
            }
        },
        &owner);

    // A fixed border: the window cannot be resized or maximised. Centred on the screen.
    window->size_range(layout::kWidth, layout::kHeight, layout::kWidth, layout::kHeight);
    window->position((Fl::w() - layout::kWidth) / 2, (Fl::h() - layout::kHeight) / 2);
}

std::unique_ptr<F_Main> F_Main::open() {
    // FLTK ends the process when it cannot open the display itself; asked this way, it is only refused.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return nullptr;
    }
    fl_open_display(display);
    // A message is placed where the window manager places new windows, not under the mouse pointer.
    fl_message_hotspot(0);
    return std::unique_ptr<F_Main>(new F_Main());
}

F_Main::F_Main() : widgets_(std::make_unique<Widgets>(*this)) {}

F_Main::~F_Main() {
    for (const core::Timer timer : {core::Timer::T_Go, core::Timer::T_ShutDown}) {
        disarm_timer(timer);
    }
}

void F_Main::run(core::WindowEvents& events) {
    events_ = &events;
    if (!closed_) {
        widgets_->window->show();
    }
    while (!closed_) {
        // Signals do not wake the display connection: they are looked for between short waits.
        Fl::wait(kInterruptPollSeconds);
        take_interrupts();
    }
    events_ = nullptr;
}

void F_Main::set_label(core::Label label, std::string_view text) {
    widgets_->value(label).text(text);
}

void F_Main::append_trace(std::string_view line) {
    Fl_Hold_Browser& list = *widgets_->lb_trace;
    list.add(std::string(line).c_str());
    list.value(list.size());
    list.bottomline(list.size());
}

void F_Main::process_messages() {
    Fl::check();
    take_interrupts();
}

void F_Main::enable_start(bool enabled) {
    if (enabled) {
        widgets_->btn_start->activate();
    } else {
        widgets_->btn_start->deactivate();
    }
}

void F_Main::set_caption(std::string_view caption) {
    widgets_->window->copy_label(std::string(caption).c_str());
}

void F_Main::select_first_tab() {
    widgets_->PageControl->value(widgets_->TabSheet1);
}

// The buttons stand from right to left; the second one answers the Enter key, the first one a closed box.
core::MessageAnswer F_Main::show_message(std::string_view title, std::string_view text,
                                         core::MessageButtons buttons) {
    fl_message_title(std::string(title).c_str());
    const std::string shown(text);
    switch (buttons) {
        case core::MessageButtons::Ok:
            fl_choice("%s", nullptr, "OK", nullptr, shown.c_str());
            return core::MessageAnswer::Ok;
        case core::MessageButtons::AbortIgnore:
            return fl_choice("%s", "Ignora", "Interrompi", nullptr, shown.c_str()) == 1
                       ? core::MessageAnswer::Abort
                       : core::MessageAnswer::Ignore;
        case core::MessageButtons::AbortRetryIgnore:
            switch (fl_choice("%s", "Ignora", "Riprova", "Interrompi", shown.c_str())) {
                case 1:
                    return core::MessageAnswer::Retry;
                case 2:
                    return core::MessageAnswer::Abort;
                default:
                    return core::MessageAnswer::Ignore;
            }
    }
    return core::MessageAnswer::Ignore;
}

void F_Main::arm_timer(core::Timer timer, std::chrono::milliseconds interval) {
    Widgets::TimerSlot& slot = widgets_->slot(timer);
    Fl::remove_timeout(Widgets::TimerSlot::ticked, &slot);
    slot.interval_seconds = std::chrono::duration<double>(interval).count();
    Fl::add_timeout(slot.interval_seconds, Widgets::TimerSlot::ticked, &slot);
}

void F_Main::disarm_timer(core::Timer timer) {
    Fl::remove_timeout(Widgets::TimerSlot::ticked, &widgets_->slot(timer));
}

void F_Main::close() {
    closed_ = true;
    widgets_->window->hide();
    Fl::flush();
}

}  // namespace ferrolo::ui
