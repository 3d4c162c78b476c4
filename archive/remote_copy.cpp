#include "archive/remote_copy.h"

#include <array>
#include <cstddef>
#include <vector>

#include "archive/step_texts.h"
#include "core/routines.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/system_error.h"

namespace ferrolo::archive {

namespace {

using core::Label;

// Longer paths never fitted the copy's buffers; they are refused rather than cut.
constexpr size_t kLongestPath = 1000;
constexpr size_t kSampleSize = 10;
constexpr size_t kCopyBlock = 1 << 20;

// Compares `source` with the copy at `copy`; lines name the copy as `target`, the name it is made for.
bool verify_copy(core::RunContext& run, const std::string& source, const std::string& copy,
                 const std::string& target) {
    const auto refuse = [&] {
        run.log.Append_Log(true, true, "Impossibile verificare: " + source + " e " + target);
        run.state.Zip_Error = true;
        return false;
    };
    if (source.size() > kLongestPath || target.size() > kLongestPath) {
        return refuse();
    }
    try {
        platform::File original = platform::File::open(source, platform::File::Mode::Read);
        platform::File copied = platform::File::open(copy, platform::File::Mode::Read);
        const uint64_t size = original.size();
        // Samples grow sparser as files grow: about ten of 10 bytes under 1 MB, fifty up to 10 MB,
        // a hundred above.
        uint64_t step = size;
        if (step < 1'000'000) {
            step /= 10;
        }
        if (step > 1'000'000 && step < 10'000'000) {
            step /= 50;
        }
        if (step > 10'000'000) {
            step /= 100;
        }
        if (step < kSampleSize) {
            return true;
        }
        const uint64_t count = size / step;
        std::array<std::byte, kSampleSize> expected{};
        std::array<std::byte, kSampleSize> found{};
        uint64_t position = 0;
        for (uint64_t sample = 0; sample < count; ++sample) {
            run.display.process_messages();
            original.seek(position);
            copied.seek(position);
            if (original.read_fully(expected) != kSampleSize || copied.read_fully(found) != kSampleSize) {
                return refuse();
            }
            if (expected != found) {
                run.state.Zip_Error = true;
                return false;
            }
            position += step - kSampleSize;
        }
        return true;
    } catch (const platform::SystemError&) {
        return refuse();
    }
}

// Copies `source` into a new temporary file in the target's folder; nullopt when that fails.
std::optional<platform::TemporaryFile> copy_beside(core::RunContext& run, const std::string& source,
                                                   const std::string& target) {
    try {
        platform::File input = platform::File::open(source, platform::File::Mode::Read);
        // Built by appending: gcc 12 at -O3 wrongly sees overlapping copies in a chain of operator+.
        std::string prefix = ".";
        prefix.append(platform::name_part(target)).append(".");
        auto copy = platform::TemporaryFile::create_in(std::string(platform::folder_part(target)), prefix);
        std::vector<std::byte> block(kCopyBlock);
        for (size_t count; (count = input.read(block)) > 0;) {
            copy.file().write(std::span(block.data(), count));
            run.display.process_messages();
        }
        copy.file().sync();
        return copy;
    } catch (const platform::SystemError&) {
        return std::nullopt;
    }
}

}  // namespace

bool Verifica(core::RunContext& run, const std::string& source, const std::string& target) {
    return verify_copy(run, source, target, target);
}

void Copia_Su_Remoto(core::RunContext& run, const std::string& destination) {
    core::RunLogLines& log = run.log;
    const std::string& source = run.job.PARAM_2;
    const std::string target = destination + std::string(platform::name_part(source));

    core::Azzera_Campi_Video(run.display);
    run.display.set_label(Label::l_stato, "Copio archivio su remoto...");
    log.Append_Log(true, true, "");
    log.Append_Log(true, true, core::kRuleLine);
    log.Append_Log(true, true, "                Cancello: " + target);
    // The earlier copy is replaced only once the new one is checked; with nothing to replace, the line
    // that tells so stays as it always was.
    if (!platform::file_exists(target)) {
        log.Append_Log(true, true, "  Impossibile cancellare: " + target);
    }
    log.Append_Log(true, true, "Inizio copia archivio su: " + destination);
    const std::string start_line = core::stamped_line("                      Inizio copia: ");
    log.Tracing_Out(start_line);
    if (!platform::file_exists(source)) {
        log.Append_Log(true, true, "File: " + source + " non trovato !");
        return;
    }

    log.Tracing_Out("                        Copia file: " + source);
    log.Tracing_Out("                                in: " + target);
    const auto started = core::Clock::now();
    auto finished = started;
    run.display.set_label(Label::l_bytes, "");
    bool failed = true;
    if (auto copy = copy_beside(run, source, target);
        copy && verify_copy(run, source, copy->path(), target)) {
        try {
            copy->keep_as(target);
            finished = core::Clock::now();
            failed = false;
        } catch (const platform::SystemError&) {
        }
    }
    run.state.Copy_Error = run.state.Copy_Error || failed;

    write_outcome(log, failed ? "Errori durante la copia !" : "Nessun errore durante la copia.", start_line,
                  "Durata copia: ", finished - started);
    log.Append_Log(true, true, "Fine copia archivio su: " + destination);
    log.Append_Log(true, true, core::kRuleLine);
    run.display.set_label(Label::l_stato, "Fine copia archivio.");
}

}  // namespace ferrolo::archive
