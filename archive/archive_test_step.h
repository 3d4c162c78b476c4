// archive/archive_test_step.h — the test of the archive just written, and its summary in the logs.
#pragma once

#include "core/run_context.h"
#include "zip/zip_archiver.h"

namespace ferrolo::archive {

// Decompresses every entry of the archive (PARAM_2) with `ZipTest` and checks sizes and CRC-32s; writes
// one extended-log line per notice and the test's summary to both logs and the trace. Never changes the
// archive.
void Test_Zip(core::RunContext& run, zip::TZipArchiver& ZipTest);

}  // namespace ferrolo::archive
