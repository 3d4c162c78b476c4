#include "archive/archive_test_step.h"

#include "archive/step_texts.h"
#include "core/routines.h"
#include "platform/file_system.h"

namespace ferrolo::archive {

namespace {

using core::Label;

// The test's four notice handlers, bound to the engine for the length of one test.
class TestHandlers {
public:
    TestHandlers(core::RunContext& run, zip::TZipArchiver& zip) : run_(run), zip_(zip) {
        zip.OnFileProgress = [this](zip::TZipArchiver&, const std::string& file_name, double,
                                    zip::TZipProcessOperation operation, zip::TZipProgressPhase phase,
                                    bool&) { ZipTestFileProgress(file_name, operation, phase); };
        zip.OnOverallProgress = [this](zip::TZipArchiver&, double, zip::TZipProcessOperation operation,
                                       zip::TZipProgressPhase,
                                       bool& cancel) { ZipTestOverallProgress(operation, cancel); };
        zip.OnProcessFileFailure = [this](zip::TZipArchiver&, const std::string& file_name,
                                          zip::TZipProcessOperation, int native_error, int error_code,
                                          const std::string& error_message, zip::TZipAction& action) {
            ZipTestProcessFileFailure(file_name, native_error, error_code, error_message, action);
        };
        zip.OnDiskFull = [this](zip::TZipArchiver&, int, std::string&, bool&) { ZipTestDiskFull(); };
    }

    ~TestHandlers() {
        zip_.OnFileProgress = nullptr;
        zip_.OnOverallProgress = nullptr;
        zip_.OnProcessFileFailure = nullptr;
        zip_.OnDiskFull = nullptr;
    }

    TestHandlers(const TestHandlers&) = delete;
    TestHandlers& operator=(const TestHandlers&) = delete;

private:
    void ZipTestFileProgress(const std::string& file_name, zip::TZipProcessOperation operation,
                             zip::TZipProgressPhase phase) {
        run_.log.Append_Log(false, true, std::string(operation_log_word(operation)) + ": " + file_name);
        run_.display.set_label(Label::l_file, shown_file_name(file_name));
        if (phase == zip::TZipProgressPhase::ppEnd) {
            count_tested_entry();
        }
        run_.display.process_messages();
    }

    // An entry is tested once its test ends, passed or failed; progress notices are no entries.
    void count_tested_entry() {
        ++run_.state.Files_Tested;
        run_.display.set_label(Label::l_nfiles, std::to_string(run_.state.Files_Tested));
    }

    void ZipTestOverallProgress(zip::TZipProcessOperation operation, bool& cancel) {
        if (const std::string_view word = operation_label_word(operation); !word.empty()) {
            run_.display.set_label(Label::l_operation, word);
        }
        if (run_.state.Stop_Requested) {
            cancel = true;
        }
        run_.display.process_messages();
    }

    void ZipTestProcessFileFailure(const std::string& file_name, int native_error, int error_code,
                                   const std::string& error_message, zip::TZipAction& action) {
        const std::string line = failure_line(file_name, native_error, error_code, error_message);
        run_.log.Tracing_Out(line);
        run_.log.Append_Log(true, true, line);
        action = zip::TZipAction::zaIgnore;
        count_tested_entry();
        ++run_.state.Test_Failures;
        run_.state.Test_Error = true;
    }

    void ZipTestDiskFull() {
        run_.log.Tracing_Out(kDiskFull);
        run_.log.Append_Log(false, true, kDiskFull);
        run_.state.Zip_Error = true;
    }

    core::RunContext& run_;
    zip::TZipArchiver& zip_;
};

// Opens and tests the archive; an error that escapes marks the test failed and is written down, so a
// damaged archive yields a failed test with its reason instead of ending the run.
void open_and_test(core::RunContext& run, zip::TZipArchiver& zip) {
    try {
        zip.FileName = run.job.PARAM_2;
        zip.SpanningOptions.AdvancedNaming = run.job.ADVANCED_NAME_ZIP;
        zip.Open(0);
        zip.TestMask("*.*", zip::kDefaultSearchAttr, "");
    } catch (const std::exception& error) {
        run.state.Test_Error = true;
        const std::string line = "Errore:" + std::string(error.what());
        run.log.Tracing_Out(line);
        run.log.Append_Log(true, true, line);
    }
    try {
        zip.Close();
    } catch (const std::exception&) {
        run.state.Test_Error = true;  // nothing was written to the archive, so nothing is lost
    }
}

}  // namespace

void Test_Zip(core::RunContext& run, zip::TZipArchiver& ZipTest) {
    core::RunLogLines& log = run.log;
    core::RunState& state = run.state;
    core::Azzera_Campi_Video(run.display);
    run.display.set_label(Label::l_stato, "Test archivio...");
    log.Append_Log(true, true, "");
    log.Append_Log(true, true, core::kRuleLine);
    log.Append_Log(true, true, "Inizio test archivio.");
    const std::string start_line = core::stamped_line("                    Inizio testing: ");
    log.Tracing_Out(start_line);
    if (!platform::file_exists(run.job.PARAM_2)) {
        log.Append_Log(true, true, "File: " + run.job.PARAM_2 + " non trovato !");
        state.Test_Error = true;
        return;
    }

    const auto started = core::Clock::now();
    run.display.set_label(Label::l_bytes, "");
    state.Files_Tested = 0;
    state.Test_Failures = 0;
    state.Test_Error = false;
    {
        TestHandlers handlers(run, ZipTest);
        open_and_test(run, ZipTest);
    }
    const auto finished = core::Clock::now();
    // A copy must not replace a good one with an archive the test found damaged or did not finish.
    state.archive_unsound = state.archive_unsound || state.Test_Error || state.Stop_Requested;

    log.Tracing_Out(core::stamped_line("                      Fine test: "));
    write_outcome(log, state.Test_Error ? "Errori durante il test !" : "Nessun errore durante il test.",
                  start_line, "Durata test: ", finished - started);
    log.Append_Log(true, true, "               Totale file testati: " + std::to_string(state.Files_Tested));
    log.Append_Log(true, true, "            Totale file con errori: " + std::to_string(state.Test_Failures));
    if (state.Test_Error) {
        log.Append_Log(true, true, "Errori riscontrati durante il test archivio.");
    }
    log.Append_Log(true, true, "Fine test archivio.");
    log.Append_Log(true, true, core::kRuleLine);
    run.display.set_label(Label::l_stato, "Fine test archivio.");
}

}  // namespace ferrolo::archive
