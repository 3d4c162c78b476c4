// bench/pdf_bench.cpp — writes an extended log of LINES lines like a large backup's ("Add: " lines with
// long paths) into FOLDER, then makes its PDF report as a run does and prints the time, the pages, the
// report's size and the process's peak memory. Run by `make bench-pdf`; never a test.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "core/run_context.h"
#include "platform/file_system.h"
#include "report/agente.h"
#include "report/pdf_report.h"
#include "report/run_log.h"

namespace {

using namespace ferrolo;

// A window nobody looks at.
class NoDisplay final : public core::Window_Display {
public:
    void set_label(core::Label, std::string_view) override {}
    void append_trace(std::string_view) override {}
    void process_messages() override {}
    void enable_start(bool) override {}
    void set_caption(std::string_view) override {}
    void select_first_tab() override {}
    core::MessageAnswer show_message(std::string_view, std::string_view, core::MessageButtons) override {
        return core::MessageAnswer::Ignore;
    }
    void arm_timer(core::Timer, std::chrono::milliseconds) override {}
    void disarm_timer(core::Timer) override {}
    void close() override {}
};

void write_log(const std::string& path, long lines) {
    std::ofstream log(path, std::ios::binary);
    for (long n = 0; n < lines; ++n) {
        log << "Add: /srv/dati/progetti/cliente-" << n % 97 << "/documenti/archivio " << n % 13 << "/file_"
            << n << ".txt\r\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [LINES]\n", argv[0]);
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    const long lines = argc > 2 ? std::stol(argv[2]) : 200'000;
    const std::string log_file = folder + "ext.log.txt", pdf_file = folder + "ext.PDF";
    write_log(log_file, lines);

    core::JobSettings job;
    job.PARAM_1 = "/srv/dati/*.*";
    job.PARAM_2 = folder + "notte.zip";
    job.PARAM_3 = folder + "log.txt";
    job.PARAM_4 = log_file;
    core::RunState state;
    NoDisplay display;
    report::TAgente agent;
    agent.ActiveLog = false;
    report::RunLog run_log(job, agent, display);
    const core::RunContext context{job, state, display, run_log};

    const auto start = std::chrono::steady_clock::now();
    report::Genera_File_PDF(context, agent, log_file, pdf_file);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto report = platform::path_entry(pdf_file);
    if (!report) {
        std::fprintf(stderr, "no report written\n");
        return 1;
    }
    std::printf("%ld lines, %ld pages: %.2f s, report %llu bytes, peak memory %.1f MiB\n", lines,
                std::max(1L, (lines + 133) / 134), elapsed.count(),
                static_cast<unsigned long long>(report->size), static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
