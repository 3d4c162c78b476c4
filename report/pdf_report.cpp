#include "report/pdf_report.h"

#include <array>
#include <cstddef>
#include <exception>
#include <functional>

#include "core/routines.h"
#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace ferrolo::report {

namespace {

using core::Label;

constexpr int32_t kPageWidth = 640;
constexpr int32_t kPageHeight = 930;
constexpr pdf::TPdfFont kTitleFont{1, 16};  // Helvetica-Bold
constexpr pdf::TPdfFont kLineFont{4, 6};    // Courier
constexpr int32_t kLineX = 30;
// Body rows are counted in half lines: row r stands at y = 70 + 3 r, for r = 1, 3, … 267.
constexpr int kLastRow = 268;
constexpr int kLongestLine = 165;
constexpr std::string_view kReportName = "Report Ferrolo";

std::string doubled_backslashes(std::string_view text) {
    std::string doubled;
    doubled.reserve(text.size() + 8);
    for (const char c : text) {
        doubled += c;
        if (c == '\\') {
            doubled += '\\';
        }
    }
    return doubled;
}

// Calls `on_line` with each line of `file`, ended by CR LF, LF or CR; a last line without its end counts,
// an end at the end of the file adds no empty line. Reads in blocks, so a long log is never held whole.
void for_each_line(platform::File& file, const std::function<void(std::string_view)>& on_line) {
    std::array<std::byte, 64 * 1024> block{};
    std::string line;
    bool after_cr = false;
    while (const size_t count = file.read(block)) {
        for (size_t i = 0; i < count; ++i) {
            const auto c = static_cast<char>(block[i]);
            if (c == '\n' && after_cr) {
                after_cr = false;
                continue;
            }
            after_cr = c == '\r';
            if (c == '\r' || c == '\n') {
                on_line(line);
                line.clear();
            } else {
                line += c;
            }
        }
    }
    if (!line.empty()) {
        on_line(line);
    }
}

}  // namespace

std::string report_zip_name(std::string_view pdf_file) {
    const std::string_view name = platform::name_part(pdf_file);
    const size_t dot = name.rfind('.');
    const size_t kept = pdf_file.size() - name.size() + (dot == std::string_view::npos ? name.size() : dot);
    return std::string(pdf_file.substr(0, kept)) + ".ZIP";
}

std::string report_line_text(std::string_view line) {
    return platform::utf8_to_cp1252(core::Shorten_Text(doubled_backslashes(line), kLongestLine));
}

void Fondello_PDF(pdf::TPdfWriter& writer, const core::JobSettings& job) {
    writer.LineWidth = 1;
    writer.DrawRectangle(2, 2, writer.PageWidth - 3, writer.PageHeight - 3);
    writer.Font = kTitleFont;
    writer.TextOut(200, 30, "Report data: " + core::trace_stamp(platform::local_now()));
    writer.Font = kLineFont;
    const auto header = [&](int32_t y, std::string_view label, std::string_view value) {
        writer.TextOut(kLineX, y, platform::utf8_to_cp1252(std::string(label) + doubled_backslashes(value)));
    };
    header(50, "Subdir from : ", job.PARAM_1);
    header(56, "Nomefile ZIP: ", job.PARAM_2);
    header(62, "File di log : ", job.PARAM_3);
}

void Genera_File_PDF(const core::RunContext& context, TAgente& Agente, const std::string& LogFile,
                     const std::string& PdfFile) {
    core::Azzera_Campi_Video(context.display);
    context.display.set_label(Label::l_stato, "Generazione report in corso...");
    platform::remove_file(PdfFile);
    if (!platform::file_exists(LogFile)) {
        return;
    }
    try {
        platform::File log = platform::File::open(LogFile, platform::File::Mode::Read);
        pdf::TPdfWriter writer;
        Agente.WriteMessage("F_Main\\Genera_File_PDF\\inizia generazione file pdf su: " + PdfFile);
        Agente.WriteMessage("F_Main\\Genera_File_PDF\\dati da: " + LogFile);
        writer.TITLE = writer.Author = writer.Creator = kReportName;
        writer.PageWidth = kPageWidth;
        writer.PageHeight = kPageHeight;
        writer.FileName = PdfFile;
        writer.BeginDoc();
        Fondello_PDF(writer, context.job);
        int row = 1;
        for_each_line(log, [&](std::string_view line) {
            if (row > kLastRow) {
                row = 1;
                writer.NewPage();
                Fondello_PDF(writer, context.job);
            }
            writer.Font = kLineFont;
            writer.TextOut(kLineX, 70 + 3 * row, report_line_text(platform::from_system_code_page(line)));
            row += 2;
        });
        writer.EndDoc();
    } catch (const std::exception&) {
        Agente.WriteWarning("F_Main\\Genera_File_PDF\\errore generazione file pdf.");
        return;
    }
    Agente.WriteMessage("F_Main\\Genera_File_PDF\\fine generazione file pdf.");
    context.display.set_label(Label::l_stato, "Generazione report terminata.");
}

std::string Zippo_File_PDF(zip::TZipArchiver& Zip_Ext, const std::string& PdfFile) {
    using namespace zip;
    const std::string zip_file(core::trim(report_zip_name(PdfFile)));
    platform::remove_file(zip_file);
    // An archive without the report (the PDF missing, or skipped when it could not be read) must not
    // stand in for it: the mail then attaches the PDF, if there is one.
    bool packed = false;
    Zip_Ext.OnFileProgress = [&](TZipArchiver&, const std::string&, double, TZipProcessOperation,
                                 TZipProgressPhase phase,
                                 bool&) { packed |= phase == TZipProgressPhase::ppEnd; };
    try {
        Zip_Ext.FileName = zip_file;
        Zip_Ext.Open(kCreateArchive);
        Zip_Ext.Zip64Mode = TZip64Mode::zmAuto;
        Zip_Ext.SetCompressionLevel(TZipCompressionLevel::clMax);
        Zip_Ext.ExclusionMasks.clear();
        Zip_Ext.BeginUpdate();
        Zip_Ext.AddMask(PdfFile, kDefaultSearchAttr, "");
        Zip_Ext.EndUpdate();
        Zip_Ext.Close();
    } catch (...) {
        Zip_Ext.OnFileProgress = nullptr;
        try {
            Zip_Ext.Close();
        } catch (...) {
            // The first error is the one the run reports.
        }
        platform::remove_file(zip_file);
        throw;
    }
    Zip_Ext.OnFileProgress = nullptr;
    if (!packed) {
        platform::remove_file(zip_file);
    }
    return zip_file;
}

}  // namespace ferrolo::report
