#include "archive/packing.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <utility>

#include "archive/packing_steps.h"
#include "archive/remote_copy.h"
#include "core/routines.h"
#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/system_error.h"

namespace ferrolo::archive {

namespace {

using core::Label;

class Packing {
public:
    Packing(core::RunContext& run, zip::TZipArchiver& engine) : run_(run), job_(run.job), Zip(engine) {}

    void pack() {
        delete_earlier_archives();
        write_job_header();
        const std::string start_line = core::stamped_line("                    Inizio zipping: ");
        run_.log.Tracing_Out(start_line);
        append("");
        run_.display.set_label(Label::l_stato, "Zipping in corso...");
        const auto started = core::Clock::now();

        pack_masks();

        const auto finished = core::Clock::now();
        if (run_.state.Stop_Requested) {
            append("Copia interrotta dall'utente.");
            run_.display.set_label(Label::l_stato, "Copia interrotta dall'utente.");
        } else {
            run_.display.set_label(Label::l_stato, "Zipping terminato.");
        }
        const std::string end_line = core::stamped_line("                      Fine zipping: ");
        run_.log.Tracing_Out(end_line);
        append("");
        append(core::kRuleLine);
        append("Stato:");
        const std::string status =
            run_.state.Zip_Error ? "Errori durante lo zipping !" : "Nessun errore durante lo zipping.";
        run_.log.Tracing_Out(status);
        append(status);
        append(start_line);
        append(end_line);
        append("                    Durata zipping: " + core::duration_text(finished - started));
        append("               Numero file zippati: " + std::to_string(run_.state.Files_Zipped));
        append("    Numero file zippati con errori: " + std::to_string(run_.state.Files_Failed));
        append(core::kRuleLine);
    }

private:
    void append(std::string_view text) { run_.log.Append_Log(true, true, text); }

    // Regular files only, and only names of archives and volumes: a folder or a "readme.zsh" the mask
    // also matches is no earlier archive.
    void delete_earlier_archives() {
        if (!job_.CANCELLA_ZIP_PRECEDENTE) {
            return;
        }
        if (const auto mask = earlier_archives_mask(job_.PARAM_2)) {
            append("Cancello: " + *mask);
            const std::string folder(platform::folder_part(*mask));
            try {
                std::vector<std::string> archives;
                for (const platform::DirEntry& entry : platform::find_files(
                         folder, platform::name_part(*mask), platform::LetterCase::Insensitive)) {
                    if (!entry.is_folder() && is_archive_name(entry.name)) {
                        archives.push_back(folder + entry.name);
                    }
                }
                platform::delete_files(archives);
            } catch (const platform::SystemError&) {
                // As before: what cannot be deleted stays, and the packing replaces the archive anyway.
            }
        }
    }

    void write_job_header() {
        append("    Subdir from :" + job_.PARAM_1);
        for (size_t n = 0; n < job_.INCLUDE.size(); ++n) {
            append("       Include " + std::to_string(n + 1) + ":" + job_.INCLUDE[n]);
        }
        append("    Filename ZIP:" + job_.PARAM_2);
        append("    File di log :" + job_.PARAM_3);
        append("File di log est.:" + job_.PARAM_4);
        append("");
        append(core::kRuleLine);
    }

    void pack_masks() {
        PackingHandlers handlers(run_, Zip);
        Zip.FileName = job_.PARAM_2;
        if (job_.SPLITTING) {
            Zip.SpanningOptions.AdvancedNaming = job_.ADVANCED_NAME_ZIP;
            Zip.SetSpanningMode(zip::TZipSpanningMode::smSplitting);
            const auto volume = split_volume_size(job_.SIZE_SPLIT);
            if (!volume || !volume->understood) {
                append("SIZE_SPLIT non valido: " + job_.SIZE_SPLIT);
            }
            if (volume) {
                Zip.SpanningOptions.VolumeSize = volume->size;
                if (volume->size == zip::TZipVolumeSize::vsCustom) {
                    Zip.SpanningOptions.SetCustomVolumeSize(volume->custom_bytes);
                }
            }
        }
        Zip.Open(zip::kCreateArchive);
        Zip.Zip64Mode = zip::TZip64Mode::zmAuto;
        Zip.SetCompressionLevel(zip::TZipCompressionLevel::clMax);
        Zip.ExclusionMasks.clear();
        Zip.ExcludedFiles = own_copies();
        Zip.BeginUpdate();
        add_mask(handlers, job_.PARAM_1);
        for (const std::string& include : job_.INCLUDE) {
            if (!include.empty()) {
                add_mask(handlers, include);
            }
        }
        write_archive(handlers);
        if (run_.state.Stop_Requested) {
            run_.state.archive_unsound = true;
        }
    }

    // The remote copies of this job and what a killed copy left beside them: inside a source folder they
    // would be packed into the archive they copy.
    std::vector<std::string> own_copies() const {
        std::vector<std::string> paths;
        for (const std::string& destination : job_.COPIA_SU_REMOTO) {
            if (core::trim(destination).empty()) {
                continue;
            }
            const std::string target = copy_target(destination, job_.PARAM_2);
            paths.push_back(std::filesystem::absolute(target).lexically_normal().string());
            for (const std::string& leftover : platform::TemporaryFile::leftovers_beside(target)) {
                paths.push_back(std::filesystem::absolute(leftover).lexically_normal().string());
            }
        }
        return paths;
    }

    // A mask whose folder is gone (unmounted, deleted during the start delay) or that selects no file is
    // a failure, never an empty backup that looks fine; an archive without it must not replace a copy
    // that holds its files.
    void add_mask(const PackingHandlers& handlers, const std::string& mask) {
        const int64_t selected_before = handlers.files_selected();
        const std::string folder(platform::folder_part(mask));
        if (folder.empty() || platform::folder_exists(folder)) {
            Zip.AddMask(mask, zip::kDefaultSearchAttr, "");
        }
        if (handlers.files_selected() == selected_before) {
            const std::string line = "Nessun file trovato: " + mask;
            run_.log.Tracing_Out(line);
            append(line);
            run_.state.Zip_Error = true;
            run_.state.archive_unsound = true;
        }
    }

    // Writes the queued entries and the directory. A failure on the archive's side (a write error, a full
    // drive) is written down and marks the archive unsound; the run goes on to its later steps, which
    // then keep the earlier copies.
    void write_archive(const PackingHandlers& handlers) {
        try {
            Zip.EndUpdate();
            Zip.Close();
        } catch (const zip::EZipError& error) {
            run_.state.Zip_Error = true;
            run_.state.archive_unsound = true;
            // A wait for room the run cancelled ends as any cancel does, with no error of its own.
            if (!handlers.wait_cancelled()) {
                const std::string line = "Errore:" + std::string(error.what());
                run_.log.Tracing_Out(line);
                append(line);
            }
            try {
                Zip.Close();  // releases the files; the failure is written down already
            } catch (const zip::EZipError&) {
            }
        }
    }

    core::RunContext& run_;
    const core::JobSettings& job_;
    zip::TZipArchiver& Zip;
};

// The integer reading the job file has always used: leading blanks, a sign, decimal digits or hexadecimal
// ones after "$", "x" or "0x"; nothing may follow. nullopt when the text is no such number.
std::optional<int64_t> read_integer(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    uint64_t base = 10;
    if (!text.empty() && (text.front() == '$' || text.front() == 'x' || text.front() == 'X')) {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const char c : text) {
        uint64_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint64_t>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<uint64_t>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<uint64_t>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        if (value > (UINT64_MAX - digit) / base) {
            return std::nullopt;
        }
        value = value * base + digit;
    }
    return static_cast<int64_t>(negative ? 0 - value : value);
}

}  // namespace

std::optional<std::string> earlier_archives_mask(std::string_view archive) {
    const std::string_view name = platform::name_part(archive);
    const size_t zip = platform::upper_ascii(name).find(".ZIP");
    if (zip == std::string::npos || zip == 0) {
        return std::nullopt;
    }
    return std::string(platform::folder_part(archive)) + std::string(name.substr(0, zip)) + "*.Z*";
}

std::optional<VolumeSetting> split_volume_size(std::string_view SIZE_SPLIT) {
    const std::string upper = platform::upper_ascii(SIZE_SPLIT);
    if (upper.rfind("VS", 0) == 0) {
        static constexpr std::pair<std::string_view, zip::TZipVolumeSize> kKeywords[] = {
            {"VS1_44MB", zip::TZipVolumeSize::vs1_44MB}, {"VS100MB", zip::TZipVolumeSize::vs100MB},
            {"VS200MB", zip::TZipVolumeSize::vs200MB},   {"VS250MB", zip::TZipVolumeSize::vs250MB},
            {"VS600MB", zip::TZipVolumeSize::vs600MB},   {"VS650MB", zip::TZipVolumeSize::vs650MB},
            {"VS700MB", zip::TZipVolumeSize::vs700MB},   {"VS4700MB", zip::TZipVolumeSize::vs4700MB},
        };
        for (const auto& [keyword, size] : kKeywords) {
            if (SIZE_SPLIT == keyword) {
                return VolumeSetting{size, 0};
            }
        }
        return std::nullopt;
    }
    constexpr int64_t kWhenNoNumber = 1048576;
    const auto bytes = read_integer(SIZE_SPLIT);
    const int64_t custom = bytes ? static_cast<int64_t>(static_cast<uint32_t>(*bytes)) : kWhenNoNumber;
    return VolumeSetting{zip::TZipVolumeSize::vsCustom, custom, bytes && custom >= zip::kMinimumVolumeSize};
}

bool is_archive_name(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    const std::string extension = platform::upper_ascii(name.substr(dot + 1));
    return extension == "ZIP" ||
           (extension.size() > 1 && extension[0] == 'Z' &&
            std::all_of(extension.begin() + 1, extension.end(), [](char c) { return c >= '0' && c <= '9'; }));
}

void pack_backup(core::RunContext& run, zip::TZipArchiver& Zip) {
    Packing(run, Zip).pack();
}

}  // namespace ferrolo::archive
