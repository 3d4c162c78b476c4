#include "app/run_setup.h"

#include <gtest/gtest.h>

namespace ferrolo::app {
namespace {

TEST(RunSetup, StampsTheArchiveNameAtItsFirstDotAndNamesTheReportBesideTheExtendedLog) {
    constexpr platform::LocalTime last_second{2024, 1, 31, 23, 59, 59};
    EXPECT_EQ(time_stamped_name("/tmp/lun.zip", last_second), "/tmp/lun-20240131-235959.zip");
    EXPECT_EQ(time_stamped_name("/tmp/lun.a.zip", last_second), "/tmp/lun-20240131-235959.zip");
    EXPECT_EQ(time_stamped_name("lun.zip", last_second), "lun-20240131-235959.zip");
    EXPECT_EQ(time_stamped_name("/tmp/backup", last_second), "/tmp/backup-20240131-235959");
    EXPECT_EQ(time_stamped_name("/tmp/lun-20240131-235959.zip", {2024, 2, 1, 0, 1, 2}),
              "/tmp/lun-20240131-235959-20240201-000102.zip")
        << "a second run adds a second stamp";

    EXPECT_EQ(report_file_name("/tmp/log_ext.txt"), "log_ext.PDF");
    EXPECT_EQ(report_file_name("/tmp/log.ext.txt"), "log.PDF");
    EXPECT_EQ(report_file_name("/tmp/log_ext"), "log_ext.PDF") << "never the extended log's own name";
    EXPECT_EQ(report_file_name("/tmp/x.PDF"), "x.PDF.PDF") << "never the extended log's own name";
}

}  // namespace
}  // namespace ferrolo::app
