// report/pdf_report.h — the PDF report of the extended log, framed and paged, and its ZIP file for the mail.
#pragma once

#include <string>
#include <string_view>

#include "core/job_settings.h"
#include "core/run_context.h"
#include "pdf/pdf_writer.h"
#include "report/agente.h"
#include "zip/zip_archiver.h"

namespace ferrolo::report {

// The ZIP file beside `pdf_file`: its name with the extension ".ZIP".
std::string report_zip_name(std::string_view pdf_file);

// A log line as a report line shows it: every backslash doubled (the writer's string escape), cut to 165
// characters with "..." in the middle, in Windows-1252 ("?" for what it lacks).
std::string report_line_text(std::string_view line);

// Writes the report of `LogFile` into `PdfFile`: 134 lines per page of 640 x 930 points, each page framed
// and headed. An earlier `PdfFile` is deleted first; a missing log gives no report. A failure is a
// warning in the agent log and leaves the status "Generazione report in corso...".
void Genera_File_PDF(const core::RunContext& context, TAgente& Agente, const std::string& LogFile,
                     const std::string& PdfFile);
// Draws the frame, the title with the time now and the three header lines on the writer's current page.
void Fondello_PDF(pdf::TPdfWriter& writer, const core::JobSettings& job);
// Packs `PdfFile` with `Zip_Ext` into the ZIP file beside it and returns that file's name. Errors of the
// engine reach the caller; whenever the PDF did not get into the archive, no ZIP file is left.
std::string Zippo_File_PDF(zip::TZipArchiver& Zip_Ext, const std::string& PdfFile);

}  // namespace ferrolo::report
