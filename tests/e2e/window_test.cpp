// The built program in its desktop window, on an X server of the test's own, driven with xdotool as a
// user's mouse would.
#include <cstdio>
#include <tuple>

#include "tests/e2e/program_folder.h"

// Xlib's macros (Status, None, True) would clash with the headers above.
#include <X11/Xlib.h>

namespace ferrolo::testing {
namespace {

// Where the buttons Inizia, Annulla and Chiudi are clicked along the row at y 182; a run left alone.
constexpr int kInizia = 41, kAnnulla = 121, kChiudi = 405, kCloseBox = 0, kNothing = -1, kTerminate = -2;

// Each test has an Xvfb server of its own, on a display number the server picks itself, stopped with it.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        server_ = ::fork();
        if (server_ == 0) {
            ::dup2(::open("/dev/null", O_WRONLY), STDERR_FILENO);
            ::execlp("Xvfb", "Xvfb", "-displayfd", std::to_string(ends[1]).c_str(), "-screen", "0",
                     "1024x768x24", "-nolisten", "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ends[1]);
        char number[16] = {};
        ASSERT_GT(::read(ends[0], number, sizeof number - 1), 0) << "Xvfb did not start";
        ::close(ends[0]);
        display_ = ":" + std::to_string(std::stoi(number));
    }
    ~WindowTest() override {
        if (server_ > 0) {
            ::kill(server_, SIGTERM);
            ::waitpid(server_, nullptr, 0);
        }
    }

    // Runs an X client (xdotool, import) on the test's display, bounded in time.
    CommandResult on_display(const std::string& command) const {
        return run_command("DISPLAY=" + display_ + " timeout 20 " + command);
    }
    // The first shown window titled "Ferrolo" that is 450 wide, or of another width (the message box) when
    // `main` is false; 0 when none shows within 15 s.
    unsigned long wait_for_window(bool main = true) const {
        unsigned long window = 0;
        int width = 0;
        for (int tries = 0; tries < 150 && (window == 0 || (width == 450) != main); ++tries) {
            std::this_thread::sleep_for(100ms);
            window = 0;
            const std::string found =
                on_display("xdotool search --onlyvisible --name Ferrolo getwindowgeometry --shell %@").output;
            std::sscanf(found.c_str(), "WINDOW=%lu X=%*d Y=%*d WIDTH=%d", &window, &width);
        }
        return (width == 450) == main ? window : 0;
    }
    void click(unsigned long window, int button) const {
        on_display("xdotool mousemove --window " + std::to_string(window) + " " + std::to_string(button) +
                   " 182 click 1");
    }
    // What a window manager sends when the title bar's close box is clicked.
    void press_close_box(unsigned long window) const {
        Display* server = XOpenDisplay(display_.c_str());
        XEvent close{};
        close.xclient.type = ClientMessage;
        close.xclient.window = window;
        close.xclient.message_type = XInternAtom(server, "WM_PROTOCOLS", False);
        close.xclient.format = 32;
        close.xclient.data.l[0] = static_cast<long>(XInternAtom(server, "WM_DELETE_WINDOW", False));
        XSendEvent(server, window, False, NoEventMask, &close);
        XCloseDisplay(server);
    }

    pid_t server_ = 0;
    std::string display_;
};

TEST_F(WindowTest, OpensCentredWithTheTabStripTheEmptyFieldsAndTheButtonRowAfterTheUsageMessage) {
    ProgramFolder program;
    program.start({}, {{"DISPLAY", display_}});
    const unsigned long box = wait_for_window(false);
    ASSERT_NE(box, 0u) << "the usage message, in a box of its own that the window waits for";
    on_display("xdotool mousemove --window " + std::to_string(box) + " 10 10 key Return");
    const unsigned long window = wait_for_window();
    ASSERT_NE(window, 0u);

    // Where a centred window stands on the 1024 x 768 screen: anywhere else the areas below miss it.
    const std::string picture = FERROLO_ARTIFACTS "/window_layout.png";
    ASSERT_EQ(on_display("import -window root -crop 450x199+287+284 +repage " + picture).exit_status, 0);
    // Something is drawn where the grey levels spread; the empty field still shows, white.
    const std::tuple<const char*, bool, double, const char*> areas[] = {
        {"80x20+2+2", true, 0, "the tabs Copia and Tracing"},
        {"290x18+150+2", false, 0, "the rest of the tab strip"},
        {"75x25+4+170", true, 0, "Inizia"},
        {"75x25+84+170", true, 0, "Annulla"},
        {"75x25+368+170", true, 0, "Chiudi"},
        {"190x25+170+170", false, 0, "the gap between Annulla and Chiudi"},
        {"380x11+54+49", false, 0.95, "the empty operation field"},
    };
    for (const auto& [crop, drawn, least_mean, what] : areas) {
        double mean = -1, deviation = -1;
        std::sscanf(
            run_command("convert " + picture + " -crop " + crop +
                        " +repage -colorspace Gray -format '%[fx:mean] %[fx:standard_deviation]' info:")
                .output.c_str(),
            "%lf %lf", &mean, &deviation);
        EXPECT_EQ(deviation > 0.01, drawn) << what;
        EXPECT_GE(mean, least_mean) << what;
    }

    click(window, kChiudi);
    EXPECT_EQ(program.finish(20s).exit_status, 2) << "closed before any job";
}

// Left alone, the run ends by itself; stopped, it still tests the shorter archive. Either way the process
// ends once the run has wound up, with the agent shut down once.
TEST_F(WindowTest, RunStartedWithIniziaWindsUpThenEndsTheProcessWhateverStopsIt) {
    // What stops each run, the slow files it packs (12 take several seconds), its status and a line it logs.
    const std::tuple<const char*, int, int, int, const char*> cases[] = {
        {"left alone", kNothing, 1, 0, "Nessun errore durante il test."},
        {"Annulla", kAnnulla, 12, 1, "Copia interrotta dall'utente.\r\n"},
        {"Chiudi", kChiudi, 12, 1, "Copia interrotta dall'utente.\r\n"},
        {"close box", kCloseBox, 12, 1, "Copia interrotta dall'utente.\r\n"},
        {"SIGTERM", kTerminate, 12, 1, "Copia interrotta dall'utente.\r\n"},
    };
    for (const auto& [what, stop, slow_files, exit_status, logged] : cases) {
        SCOPED_TRACE(what);
        NightlyJob job;
        write_slow_files(job.source, slow_files);
        job.write_job("TEST_ZIP=SI\r\n");
        const auto started = std::chrono::steady_clock::now();
        job.program.start({"notte.ini"}, {{"DISPLAY", display_}});
        const unsigned long window = wait_for_window();
        click(window, kInizia);
        ASSERT_TRUE(wait_for_text(job.out + "log_ext.txt", "Add: ", 30s));
        EXPECT_LT(std::chrono::steady_clock::now() - started, 8s) << "Inizia did not wait for T_Go";
        if (stop == kTerminate) {
            job.program.send(SIGTERM);
        } else if (stop != kNothing) {
            stop == kCloseBox ? press_close_box(window) : click(window, stop);
        }
        EXPECT_EQ(job.program.finish(120s).exit_status, exit_status);
        EXPECT_EQ(job.unzip_test(), 0);
        EXPECT_NE(content_of(job.out + "log.txt").find(logged), std::string::npos);
        const std::string agent = job.program.agent_log(), shut_down = "ShutDown Agente of Ferrolo";
        EXPECT_NE(agent.find(shut_down, agent.rfind("F_Main\\Append_Log\\Fine test archivio.")),
                  std::string::npos)
            << "the agent shut down after the run's last line";
        EXPECT_EQ(agent.find(shut_down), agent.rfind(shut_down)) << "once";
    }
}

TEST_F(WindowTest, ConsoleRunsWithoutAUsableDisplayOrWhenAskedFor) {
    const std::vector<std::tuple<Environment, int, std::string>> cases = {
        {{}, 2, "Uso: Ferrolo"},
        {{{"DISPLAY", ":9999"}}, 2, "Uso: Ferrolo"},
        {{{"DISPLAY", display_}, {"FERROLO_UI", "console"}}, 2, "Uso: Ferrolo"},
        {{{"FERROLO_UI", "Window"}}, 2, "Uso: Ferrolo"},  // only the documented words count
        {{{"FERROLO_UI", "window"}}, 3, "Ferrolo: impossibile aprire il display"},
    };
    for (const auto& [environment, exit_status, errors_start] : cases) {
        const ProgramRun ended = ProgramFolder().run({}, environment);
        EXPECT_EQ(ended.exit_status, exit_status);
        EXPECT_EQ(ended.errors.rfind(errors_start, 0), 0u) << ended.errors;
    }
}

}  // namespace
}  // namespace ferrolo::testing
