// core/window_display.h — what the run needs of its window, and what the window tells the program.
#pragma once

#include <chrono>
#include <string_view>

namespace ferrolo::core {

// The value labels of the "Copia" tab.
enum class Label { l_operation, l_to, l_file, l_nfiles, l_bytes, l_stato };

enum class Timer { T_Go, T_ShutDown };

enum class MessageButtons { Ok, AbortIgnore, AbortRetryIgnore };
enum class MessageAnswer { Ok, Abort, Retry, Ignore };

// The display operations. All calls come from the window thread.
class Window_Display {
public:
    virtual ~Window_Display() = default;

    virtual void set_label(Label label, std::string_view text) = 0;
    // Adds a line at the end of the trace list and scrolls it into view.
    virtual void append_trace(std::string_view line) = 0;
    // Handles the button presses and timer ticks waiting; handlers run nested in the caller.
    virtual void process_messages() = 0;
    // Enables or disables "Inizia".
    virtual void enable_start(bool enabled) = 0;
    virtual void set_caption(std::string_view caption) = 0;
    virtual void select_first_tab() = 0;
    // Shows a modal message and returns the user's answer; a front end that cannot wait answers at once
    // (Ok, or Ignore where offered).
    virtual MessageAnswer show_message(std::string_view title, std::string_view text,
                                       MessageButtons buttons) = 0;
    // Arms `timer` to fire every `interval` until it is disarmed.
    virtual void arm_timer(Timer timer, std::chrono::milliseconds interval) = 0;
    virtual void disarm_timer(Timer timer) = 0;
    // Destroys the window and ends the message loop; the close handler has already run.
    virtual void close() = 0;
};

// What a front end calls when the user or a timer acts.
class WindowEvents {
public:
    virtual void btn_startClick() = 0;
    virtual void btn_annullaClick() = 0;
    virtual void btn_chiudiClick() = 0;
    virtual void T_GoTimer() = 0;
    virtual void T_ShutDownTimer() = 0;
    // The window's own close box, or a front end closing a window that would stay idle.
    virtual void close_requested() = 0;

protected:
    ~WindowEvents() = default;
};

// Empties the six value labels.
void Azzera_Campi_Video(Window_Display& display);

}  // namespace ferrolo::core
