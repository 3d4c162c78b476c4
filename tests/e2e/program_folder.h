// tests/e2e/program_folder.h — the built program, copied into a program folder of its own and run there as
// a scheduler runs it, with its real start delay.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/command.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::testing {

struct ProgramRun {
    int exit_status = -1;  // -1 when the program did not exit normally
    std::string output;    // standard output
    std::string errors;    // standard error
};

// Variables to set for the program, or to remove (no value).
using Environment = std::vector<std::pair<std::string, std::optional<std::string>>>;

class ProgramFolder : public TempFolder {
public:
    ProgramFolder();
    // Kills the program if the test did not wait for it.
    ~ProgramFolder();

    // Starts the program in its folder, its standard output and error going to files there. It runs
    // without DISPLAY and FERROLO_UI, so in the console, unless `environment` sets them.
    void start(const std::vector<std::string>& arguments, const Environment& environment = {});
    void send(int signal) const;
    // Waits for the program's end; after `limit` it is killed and the test fails.
    ProgramRun finish(std::chrono::seconds limit = std::chrono::seconds(600));
    ProgramRun run(const std::vector<std::string>& arguments, const Environment& environment = {}) {
        start(arguments, environment);
        return finish();
    }
    std::string agent_log() const { return read_file(*this / "Ferrolo.LOG"); }

private:
    pid_t running_ = 0;
};

// What the file holds so far; nothing when it does not exist yet.
std::string content_of(const std::string& path);
// Waits until the file `path` holds `text`; false after `limit`.
bool wait_for_text(const std::string& path, const std::string& text, std::chrono::seconds limit);
// `text` split at LF.
std::vector<std::string> lines_of(const std::string& text);
// Writes `count` files of text that deflates slowly at the highest level into `folder`, so packing them
// lasts seconds.
void write_slow_files(const std::string& folder, int count);

// A program folder with a source, an output and a remote folder, and the job "notte.ini" that backs the
// source up into out/notte.zip with both logs beside it.
struct NightlyJob {
    void write_job(const std::string& zip_keys, const std::string& smtp_keys = "") const {
        program.write("notte.ini", "[PARAMETRI_LINEA_COMANDO]\r\nPARAM_1=" + source + "/*.*\r\nPARAM_2=" +
                                       archive + "\r\nPARAM_3=" + out + "log.txt\r\nPARAM_4=" + out +
                                       "log_ext.txt\r\n[PARAMETRI_FILEZIP]\r\n" + zip_keys +
                                       "[PARAMETRI_SMTP]\r\n" + smtp_keys);
    }
    std::vector<std::string> listing() const {
        return lines_of(run_command("unzip -Z1 " + shell_quote(archive)).output);
    }
    int unzip_test() const { return run_command("unzip -tq " + shell_quote(archive)).exit_status; }

    ProgramFolder program;
    const std::string source = program.make_folder("source");
    const std::string out = program.make_folder("out") + "/";
    const std::string remote = program.make_folder("remote") + "/";
    std::string archive = out + "notte.zip";
};

}  // namespace ferrolo::testing
