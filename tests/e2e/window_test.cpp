// The built program in its desktop window, on an X server of the test's own, driven with xdotool as a
// user's mouse would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "tests/e2e/program_folder.h"
#include "tests/support/command.h"

// Xlib's macros (Status, None, True) would clash with the headers above.
#include <X11/Xlib.h>

namespace ferrolo::testing {
namespace {

using namespace std::chrono_literals;

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kSlowFiles = 12;  // packing them takes several seconds

// Xvfb on a display number it picks itself (-displayfd), stopped with the test.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int ends[2];
        if (::pipe(ends) != 0) {
            return;
        }
        server_ = ::fork();
        if (server_ == 0) {
            ::close(ends[0]);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            const std::string screen =
                std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24";
            ::execlp("Xvfb", "Xvfb", "-displayfd", std::to_string(ends[1]).c_str(), "-screen", "0",
                     screen.c_str(), "-nolisten", "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ends[1]);
        pollfd ready{ends[0], POLLIN, 0};
        std::string number;
        for (char digit = 0;
             ::poll(&ready, 1, 20000) > 0 && ::read(ends[0], &digit, 1) == 1 && digit != '\n';) {
            number += digit;
        }
        ::close(ends[0]);
        if (!number.empty()) {
            name_ = ":" + number;
        }
    }
    ~VirtualDisplay() {
        if (server_ > 0) {
            ::kill(server_, SIGTERM);
            ::waitpid(server_, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N"; empty when the server did not start.
    const std::string& name() const { return name_; }

    // Runs an X client (xdotool, import) on this display, bounded in time.
    CommandResult client(const std::string& command) const {
        return run_command("DISPLAY=" + name_ + " timeout 20 " + command);
    }

private:
    pid_t server_ = 0;
    std::string name_;
};

struct Place {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The program's job in its window, and what a user does to it.
class WindowRun {
public:
    explicit WindowRun(const VirtualDisplay& display) : display_(display) {}

    void start(const std::vector<std::string>& arguments) {
        job.program.start(arguments, {{"DISPLAY", display_.name()}});
    }
    // The id of the shown window titled "Ferrolo" with client size `width` x `height`; 0 when none appears
    // within a few seconds.
    unsigned long wait_for_window(int width = 450, int height = 199) const {
        for (const auto give_up = std::chrono::steady_clock::now() + 15s;
             std::chrono::steady_clock::now() < give_up; std::this_thread::sleep_for(50ms)) {
            for (const std::string& id :
                 lines_of(display_.client("xdotool search --onlyvisible --name '^Ferrolo$'").output)) {
                const Place place = where(std::stoul(id));
                if (place.width == width && place.height == height) {
                    return std::stoul(id);
                }
            }
        }
        return 0;
    }
    Place where(unsigned long window) const {
        Place place;
        const std::string geometry =
            display_.client("xdotool getwindowgeometry " + std::to_string(window)).output;
        std::sscanf(geometry.c_str(), "Window %*u Position: %d,%d (screen: %*d) Geometry: %dx%d", &place.x,
                    &place.y, &place.width, &place.height);
        return place;
    }
    // Clicks at (`x`, `y`) of the window's client area.
    void click(unsigned long window, int x, int y) const {
        display_.client("xdotool mousemove --window " + std::to_string(window) + " " + std::to_string(x) +
                        " " + std::to_string(y) + " click 1");
    }
    void click_inizia(unsigned long window) const { click(window, 41, 182); }
    void click_annulla(unsigned long window) const { click(window, 121, 182); }
    void click_chiudi(unsigned long window) const { click(window, 405, 182); }
    // What a window manager sends when the title bar's close box is clicked.
    void press_close_box(unsigned long window) const {
        Display* server = XOpenDisplay(display_.name().c_str());
        ASSERT_NE(server, nullptr);
        XEvent close{};
        close.xclient.type = ClientMessage;
        close.xclient.window = window;
        close.xclient.message_type = XInternAtom(server, "WM_PROTOCOLS", False);
        close.xclient.format = 32;
        close.xclient.data.l[0] = static_cast<long>(XInternAtom(server, "WM_DELETE_WINDOW", False));
        close.xclient.data.l[1] = CurrentTime;
        XSendEvent(server, window, False, NoEventMask, &close);
        XCloseDisplay(server);
    }
    // Starts a job over slowly packed files with "Inizia"; its window once packing is under way, else 0.
    unsigned long start_slow_packing() {
        write_slow_files(job.source, kSlowFiles);
        job.write_job("TEST_ZIP=SI\r\n");
        start({"notte.ini"});
        const unsigned long window = wait_for_window();
        if (window != 0) {
            click_inizia(window);
        }
        return window != 0 && wait_for_text(job.out + "log_ext.txt", "Add: ", 30s) ? window : 0;
    }
    // The run log; empty when the run did not create it.
    std::string run_log() const { return content_of(job.out + "log.txt"); }

    NightlyJob job;

private:
    const VirtualDisplay& display_;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (display.name().empty()) {
            FAIL() << "Xvfb did not start";
        }
    }
    VirtualDisplay display;
};

// Mean and standard deviation of the grey levels in a rectangle of the picture, from 0 to 1.
std::pair<double, double> grey_levels(const std::string& picture, const Place& area) {
    const std::string crop = std::to_string(area.width) + "x" + std::to_string(area.height) + "+" +
                             std::to_string(area.x) + "+" + std::to_string(area.y);
    const std::string measured =
        run_command("convert " + shell_quote(picture) + " -crop " + crop +
                    " +repage -colorspace Gray -format '%[fx:mean] %[fx:standard_deviation]' info:")
            .output;
    std::pair<double, double> levels{-1, -1};
    std::sscanf(measured.c_str(), "%lf %lf", &levels.first, &levels.second);
    return levels;
}

TEST_F(WindowTest, OpensCentredWithTheTabStripTheEmptyFieldsAndTheButtonRow) {
    WindowRun run(display);
    run.start({run.job.source + "/*.*", run.job.archive, run.job.out + "log.txt", run.job.out + "ext.txt"});
    const unsigned long window = run.wait_for_window();
    ASSERT_NE(window, 0u) << "a window of 450 x 199";
    const Place place = run.where(window);
    EXPECT_EQ(place.x, (kScreenWidth - 450) / 2);
    EXPECT_EQ(place.y, (kScreenHeight - 199) / 2);

    // The root is taken, not the window, so the program's end cannot leave the capture waiting on it.
    const std::string picture = FERROLO_ARTIFACTS "/window_layout.png";
    ASSERT_EQ(display
                  .client("import -window root -crop 450x199+" + std::to_string(place.x) + "+" +
                          std::to_string(place.y) + " +repage " + shell_quote(picture))
                  .exit_status,
              0);
    const auto drawn = [&](const Place& area) { return grey_levels(picture, area).second > 0.01; };
    EXPECT_TRUE(drawn({2, 2, 80, 20})) << "the tabs Copia and Tracing at the left of the strip";
    EXPECT_FALSE(drawn({150, 2, 290, 18})) << "nothing else in the strip";
    for (const int left : {4, 84, 368}) {
        EXPECT_TRUE(drawn({left, 170, 75, 25})) << "the button at " << left;
    }
    EXPECT_FALSE(drawn({170, 170, 190, 25})) << "the gap between Annulla and Chiudi";
    const auto [mean, deviation] = grey_levels(picture, {54, 49, 380, 11});
    EXPECT_GT(mean, 0.95) << "the empty operation label still shows as a white field";
    EXPECT_LT(deviation, 0.01);

    run.click_chiudi(window);
    EXPECT_EQ(run.job.program.finish(20s).exit_status, 2) << "closed before the start: the job did not run";
    EXPECT_EQ(run.run_log(), "");
}

TEST_F(WindowTest, IniziaRunsASmallJobAtOnceAndTheWindowClosesItselfAtTheEnd) {
    WindowRun run(display);
    run.job.program.write("source/a.txt", "alfa");
    run.job.write_job("TEST_ZIP=SI\r\n");
    run.start({"notte.ini"});
    const unsigned long window = run.wait_for_window();
    ASSERT_NE(window, 0u);
    const auto clicked = std::chrono::steady_clock::now();
    run.click_inizia(window);
    const ProgramRun ended = run.job.program.finish(30s);
    EXPECT_LT(std::chrono::steady_clock::now() - clicked, 8s) << "without waiting for the start timer";
    EXPECT_EQ(ended.exit_status, 0) << ended.errors;
    EXPECT_EQ(run.job.unzip_test(), 0);
    EXPECT_NE(run.run_log().find("Nessun errore durante il test."), std::string::npos);
    EXPECT_NE(run.job.program.agent_log().find("ShutDown Agente of Ferrolo"), std::string::npos);
}

TEST_F(WindowTest, AnnullaDuringPackingStopsItAndTheLaterStepsStillRun) {
    WindowRun run(display);
    const unsigned long window = run.start_slow_packing();
    ASSERT_NE(window, 0u) << "packing under way";
    run.click_annulla(window);
    const ProgramRun ended = run.job.program.finish(120s);
    EXPECT_EQ(ended.exit_status, 1) << "a stopped backup is incomplete";
    const std::string log = run.run_log();
    const size_t stopped = log.find("Copia interrotta dall'utente.\r\n");
    ASSERT_NE(stopped, std::string::npos);
    EXPECT_NE(log.find("Inizio test archivio.", stopped), std::string::npos);
    EXPECT_EQ(run.job.unzip_test(), 0);
    EXPECT_LT(run.job.listing().size(), static_cast<size_t>(kSlowFiles)) << "packing stopped early";
}

// "Chiudi" and the close box both stop the run, let its later steps finish and then end the process,
// with the agent shut down once, after the last line of the run.
TEST_F(WindowTest, ChiudiOrTheCloseBoxDuringPackingEndsTheProcessOnceTheRunHasWoundUp) {
    for (const bool close_box : {false, true}) {
        SCOPED_TRACE(close_box ? "close box" : "Chiudi");
        WindowRun run(display);
        const unsigned long window = run.start_slow_packing();
        ASSERT_NE(window, 0u) << "packing under way";
        if (close_box) {
            run.press_close_box(window);
        } else {
            run.click_chiudi(window);
        }
        const ProgramRun ended = run.job.program.finish(120s);
        EXPECT_EQ(ended.exit_status, 1);
        const std::string log = run.run_log();
        EXPECT_NE(log.find("Copia interrotta dall'utente.\r\n"), std::string::npos);
        EXPECT_NE(log.find("Fine test archivio."), std::string::npos) << "the run wound up";
        const std::string agent = run.job.program.agent_log();
        const size_t shut_down = agent.find("ShutDown Agente of Ferrolo");
        ASSERT_NE(shut_down, std::string::npos);
        EXPECT_EQ(agent.find("ShutDown Agente of Ferrolo", shut_down + 1), std::string::npos) << "once";
        EXPECT_GT(shut_down, agent.rfind("F_Main\\Append_Log\\Fine test archivio."))
            << "after the run's last line";
    }
}

TEST_F(WindowTest, UsageMessageComesFirstAndTheIdleWindowStaysUntilClosed) {
    WindowRun run(display);
    run.start({});
    // The message box has its own size; the window is not shown until it is dismissed.
    std::vector<std::string> boxes;
    for (const auto give_up = std::chrono::steady_clock::now() + 15s;
         boxes.empty() && std::chrono::steady_clock::now() < give_up; std::this_thread::sleep_for(50ms)) {
        boxes = lines_of(display.client("xdotool search --onlyvisible --name '^Ferrolo$'").output);
    }
    ASSERT_EQ(boxes.size(), 1u);
    const unsigned long box = std::stoul(boxes[0]);
    EXPECT_NE(run.where(box).width, 450);
    display.client("xdotool mousemove --window " + boxes[0] + " 10 10 key Return");
    const unsigned long window = run.wait_for_window();
    ASSERT_NE(window, 0u);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(run.job.program.agent_log().find("ShutDown"), std::string::npos) << "still open";
    run.press_close_box(window);
    EXPECT_EQ(run.job.program.finish(20s).exit_status, 2);
}

TEST_F(WindowTest, ConsoleRunsWithoutAUsableDisplayOrWhenAskedFor) {
    struct Case {
        Environment environment;
        int exit_status;
        std::string errors_start;
    };
    const std::string usage = "Uso: Ferrolo";
    const std::vector<Case> cases = {
        {{}, 2, usage},
        {{{"DISPLAY", display.name()}, {"FERROLO_UI", "console"}}, 2, usage},
        {{{"DISPLAY", ":9999"}}, 2, usage},
        {{{"FERROLO_UI", "window"}}, 3, "Ferrolo: impossibile aprire il display"},
    };
    for (const Case& each : cases) {
        ProgramFolder program;
        const ProgramRun ended = program.run({}, each.environment);
        EXPECT_EQ(ended.exit_status, each.exit_status);
        EXPECT_EQ(ended.errors.rfind(each.errors_start, 0), 0u) << ended.errors;
    }
}

}  // namespace
}  // namespace ferrolo::testing
