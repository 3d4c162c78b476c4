#include "archive/remote_copy.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "archive/step_texts.h"
#include "core/routines.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/path_names.h"
#include "platform/system_error.h"

namespace ferrolo::archive {

namespace {

using core::Label;

// Longer paths never fitted the copy's buffers; they are refused rather than cut.
constexpr size_t kLongestPath = 1000;
constexpr size_t kCopyBlock = 1 << 20;

// Compares `source` with the copy at `copy` byte for byte, the copy read back from its device rather than
// from the page cache, so a copy the device corrupted cannot pass; lines name the copy as `target`, the
// name it is made for.
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
        copied.sync();
        copied.drop_cached_pages();
        std::vector<std::byte> expected(kCopyBlock);
        std::vector<std::byte> found(kCopyBlock);
        for (;;) {
            run.display.process_messages();
            const size_t count = original.read_fully(expected);
            if (copied.read_fully(std::span(found.data(), count)) != count) {
                return refuse();  // a shorter copy lacks the bytes to compare
            }
            std::byte beyond{};
            if (!std::equal(expected.begin(), expected.begin() + static_cast<long>(count), found.begin()) ||
                (count < expected.size() && copied.read_fully(std::span(&beyond, 1)) != 0)) {
                run.state.Zip_Error = true;
                return false;
            }
            if (count < expected.size()) {
                return true;
            }
        }
    } catch (const platform::SystemError&) {
        return refuse();
    }
}

// Copies `source` into a new temporary file in the target's folder; nullopt when that fails.
std::optional<platform::TemporaryFile> copy_beside(core::RunContext& run, const std::string& source,
                                                   const std::string& target) {
    try {
        platform::File input = platform::File::open(source, platform::File::Mode::Read);
        auto copy = platform::TemporaryFile::create_beside(target);
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

std::string copy_target(const std::string& destination, const std::string& archive) {
    const bool names_folder =
        !platform::ends_with_separator(destination) && platform::folder_exists(destination);
    return (names_folder ? destination + platform::kPathSeparator : destination) +
           std::string(platform::name_part(archive));
}

bool Verifica(core::RunContext& run, const std::string& source, const std::string& target) {
    return verify_copy(run, source, target, target);
}

void Copia_Su_Remoto(core::RunContext& run, const std::string& destination) {
    core::RunLogLines& log = run.log;
    if (run.state.archive_unsound) {
        // The previous copy may be the last good backup: it is kept.
        const std::string line = "Copia non eseguita su: " + destination + " (archivio incompleto)";
        log.Tracing_Out(line);
        log.Append_Log(true, true, line);
        run.state.Copy_Error = true;
        return;
    }
    const std::string& source = run.job.PARAM_2;
    const std::string target = copy_target(destination, source);
    // Temporary copies of a killed run would otherwise stay for ever.
    for (const std::string& leftover : platform::TemporaryFile::leftovers_beside(target)) {
        platform::remove_file(leftover);
    }

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
        run.state.Copy_Error = true;
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
