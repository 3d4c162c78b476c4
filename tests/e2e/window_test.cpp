// The built program in its desktop window, on an X server of the test's own, driven with xdotool as a
// user's mouse would.
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "tests/e2e/program_folder.h"

// Xlib's macros (Status, None, True) would clash with the headers above.
#include <X11/Xlib.h>

namespace ferrolo::testing {
namespace {

constexpr int kSlowFiles = 12;  // packing them takes several seconds
// Where the buttons Inizia, Annulla and Chiudi are clicked along the row at y 182.
constexpr int kInizia = 41, kAnnulla = 121, kChiudi = 405;

struct Place {
    unsigned long window = 0;  // 0 when no window was found
    int x = 0;
    int y = 0;
    int width = 0;
};

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
        const ssize_t read = ::read(ends[0], number, sizeof number - 1);
        ::close(ends[0]);
        ASSERT_GT(read, 0) << "Xvfb did not start";
        display_ = ":" + std::to_string(std::atoi(number));
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
    // The first shown window titled "Ferrolo", once it is 450 wide unless `any` is asked for; waited for at
    // most 15 s.
    Place wait_for_window(bool any = false) const {
        Place place;
        for (int tries = 0; tries < 150 && (place.window == 0 || (!any && place.width != 450)); ++tries) {
            std::this_thread::sleep_for(100ms);
            std::sscanf(
                on_display("xdotool search --onlyvisible --name '^Ferrolo$' getwindowgeometry --shell %@")
                    .output.c_str(),
                "WINDOW=%lu X=%d Y=%d WIDTH=%d", &place.window, &place.x, &place.y, &place.width);
        }
        return place;
    }
    void click(const Place& window, int button) const {
        on_display("xdotool mousemove --window " + std::to_string(window.window) + " " +
                   std::to_string(button) + " 182 click 1");
    }
    // What a window manager sends when the title bar's close box is clicked.
    void press_close_box(const Place& window) const {
        Display* server = XOpenDisplay(display_.c_str());
        XEvent close{};
        close.xclient.type = ClientMessage;
        close.xclient.window = window.window;
        close.xclient.message_type = XInternAtom(server, "WM_PROTOCOLS", False);
        close.xclient.format = 32;
        close.xclient.data.l[0] = static_cast<long>(XInternAtom(server, "WM_DELETE_WINDOW", False));
        XSendEvent(server, window.window, False, NoEventMask, &close);
        XCloseDisplay(server);
    }
    // Starts `job`, which tests its archive, in the window with "Inizia"; the window once packing is under
    // way.
    Place start(NightlyJob& job) const {
        job.write_job("TEST_ZIP=SI\r\n");
        job.program.start({"notte.ini"}, {{"DISPLAY", display_}});
        const Place window = wait_for_window();
        click(window, kInizia);
        return wait_for_text(job.out + "log_ext.txt", "Add: ", 30s) ? window : Place{};
    }

    pid_t server_ = 0;
    std::string display_;
};

TEST_F(WindowTest, OpensCentredWithTheTabStripTheEmptyFieldsAndTheButtonRowAfterTheUsageMessage) {
    ProgramFolder program;
    program.start({}, {{"DISPLAY", display_}});
    const Place box = wait_for_window(true);
    ASSERT_NE(box.window, 0u) << "the usage message";
    EXPECT_NE(box.width, 450) << "a box of its own: the window waits for it";
    on_display("xdotool mousemove --window " + std::to_string(box.window) + " 10 10 key Return");
    const Place window = wait_for_window();
    ASSERT_EQ(window.width, 450);
    EXPECT_EQ(window.x, (1024 - 450) / 2);
    EXPECT_EQ(window.y, (768 - 199) / 2);

    const std::string picture = FERROLO_ARTIFACTS "/window_layout.png";
    ASSERT_EQ(on_display("import -window " + std::to_string(window.window) + " " + picture).exit_status, 0);
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

TEST_F(WindowTest, IniziaRunsASmallJobAtOnceAndTheWindowClosesItselfAtTheEnd) {
    NightlyJob job;
    job.program.write("source/a.txt", "alfa");
    const auto started = std::chrono::steady_clock::now();
    ASSERT_NE(start(job).window, 0u);
    const ProgramRun ended = job.program.finish(30s);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 8s) << "without waiting for the start timer";
    EXPECT_EQ(ended.exit_status, 0) << ended.errors;
    EXPECT_EQ(job.unzip_test(), 0);
    EXPECT_NE(content_of(job.out + "log.txt").find("Nessun errore durante il test."), std::string::npos);
}

// Each stops the packing; the run still tests the shorter archive, then the process ends with the agent
// shut down once, after the run's last line.
TEST_F(WindowTest, AnnullaChiudiOrTheCloseBoxDuringPackingEndsTheProcessOnceTheRunHasWoundUp) {
    const std::pair<const char*, int> actions[] = {
        {"Annulla", kAnnulla}, {"Chiudi", kChiudi}, {"close box", 0}};
    for (const auto& [action, button] : actions) {
        SCOPED_TRACE(action);
        NightlyJob job;
        write_slow_files(job.source, kSlowFiles);
        const Place window = start(job);
        ASSERT_NE(window.window, 0u) << "packing under way";
        button != 0 ? click(window, button) : press_close_box(window);
        EXPECT_EQ(job.program.finish(120s).exit_status, 1) << "a stopped backup is incomplete";
        const std::string log = content_of(job.out + "log.txt");
        const size_t stopped = log.find("Copia interrotta dall'utente.\r\n");
        ASSERT_NE(stopped, std::string::npos);
        EXPECT_NE(log.find("Fine test archivio.", stopped), std::string::npos) << "the run wound up";
        const std::string agent = job.program.agent_log();
        const size_t shut_down = agent.find("ShutDown Agente of Ferrolo");
        EXPECT_EQ(agent.find("ShutDown Agente of Ferrolo", shut_down + 1), std::string::npos) << "once";
        EXPECT_GT(shut_down, agent.rfind("F_Main\\Append_Log\\Fine test archivio.")) << "after the run";
        EXPECT_NE(shut_down, std::string::npos);
    }
}

TEST_F(WindowTest, ConsoleRunsWithoutAUsableDisplayOrWhenAskedFor) {
    const std::string usage = "Uso: Ferrolo";
    const std::vector<std::tuple<Environment, int, std::string>> cases = {
        {{}, 2, usage},
        {{{"DISPLAY", display_}, {"FERROLO_UI", "console"}}, 2, usage},
        {{{"DISPLAY", ":9999"}}, 2, usage},
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
