// The engine's errors and settings as the callers see them.
#include <gtest/gtest.h>

#include "archive/zip_archiver.h"

namespace ferrolo::archive {
namespace {

TEST(ZipErrors, MessageIsComponentNameTextWithItsValuesAndFiveDigitInternalCode) {
    const EZipError not_found("Zip", zip_error::kFileNotFound, {.file_name = "/bk/lun.zip"});
    EXPECT_STREQ(not_found.what(), "Zip: File \"/bk/lun.zip\" not found - Native error: 00012");
    EXPECT_EQ(not_found.NativeError(), 12);
    EXPECT_EQ(not_found.ErrorCode(), 6);
    EXPECT_STREQ(EZipError("", zip_error::kArchiveNotOpen).what(),
                 "Archive is not open - Native error: 00013")
        << "no name part for a component without name";
    const EZipError sizes("Zip", zip_error::kSizeChanged, {.first = 10, .second = 12});
    EXPECT_STREQ(sizes.what(),
                 "Zip: Invalid compressed size, rfs.size = 10, count = 12 - Native error: 00034");
    EXPECT_EQ(sizes.ErrorCode(), 17);
    const EZipError too_long("Zip", zip_error::kNameTooLong, {.file_name = "/a/b"});
    EXPECT_STREQ(too_long.what(), "Zip: File name is too long: \r\n\"/a/b\" - Native error: 00061");
    EXPECT_EQ(too_long.ErrorCode(), 36);
    EXPECT_EQ(EZipError("Zip", zip_error::kZip64OffsetDisabled).ErrorCode(), 23) << "43 shares 41's number";
    const EZipError unknown("Zip", 40);
    EXPECT_STREQ(unknown.what(), "Zip: Unknown error - Native error: 00040");
    EXPECT_EQ(unknown.ErrorCode(), 0);
}

TEST(CompressionSettings, LevelAndModeAreCoupledAndModeAboveNineIsError5) {
    TZipArchiver zip{"Zip"};
    const std::pair<TZipCompressionLevel, int> levels[] = {{TZipCompressionLevel::clNone, 0},
                                                           {TZipCompressionLevel::clFastest, 1},
                                                           {TZipCompressionLevel::clNormal, 6},
                                                           {TZipCompressionLevel::clMax, 9}};
    for (const auto& [level, mode] : levels) {
        zip.SetCompressionLevel(level);
        EXPECT_EQ(zip.CompressionMode(), mode);
    }
    const TZipCompressionLevel by_mode[] = {TZipCompressionLevel::clNone,    TZipCompressionLevel::clFastest,
                                            TZipCompressionLevel::clFastest, TZipCompressionLevel::clFastest,
                                            TZipCompressionLevel::clNormal,  TZipCompressionLevel::clNormal,
                                            TZipCompressionLevel::clNormal,  TZipCompressionLevel::clMax,
                                            TZipCompressionLevel::clMax,     TZipCompressionLevel::clMax};
    for (int mode = 0; mode <= 9; ++mode) {
        zip.SetCompressionMode(mode);
        EXPECT_EQ(zip.CompressionLevel(), by_mode[mode]) << "mode " << mode;
    }
    try {
        zip.SetCompressionMode(10);
        ADD_FAILURE() << "mode 10 accepted";
    } catch (const EZipError& error) {
        EXPECT_STREQ(error.what(),
                     "Zip: Invalid compression mode. Mode must be in [0-9] range - Native error: 00005");
    }
    EXPECT_EQ(zip.CompressionMode(), 9) << "a refused mode changes nothing";
}

TEST(VolumeSizes, CustomSizeHasAFloorOf65536) {
    TZipSpanningOptions options;
    for (const auto& [asked, kept] : std::vector<std::pair<int64_t, int64_t>>{
             {1000, 65536}, {-5, 65536}, {65535, 65536}, {65536, 65536}, {2'000'000, 2'000'000}}) {
        options.SetCustomVolumeSize(asked);
        EXPECT_EQ(options.CustomVolumeSize(), kept) << asked;
    }
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vsCustom, 0), 65536)
        << "a size never set still has the floor";
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vsAutoDetect, 0), 0) << "no limit";
}

}  // namespace
}  // namespace ferrolo::archive
