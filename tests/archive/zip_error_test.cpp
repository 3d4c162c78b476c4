// The engine's errors and settings as the callers see them.
#include <gtest/gtest.h>

#include "archive/zip_archiver.h"

namespace ferrolo::archive {
namespace {

TEST(ZipErrors, MessageIsComponentNameTextAndFiveDigitInternalCode) {
    const EZipError error("Zip", zip_error::kFileNotFound, {.file_name = "/bk/lun.zip"});
    EXPECT_STREQ(error.what(), "Zip: File \"/bk/lun.zip\" not found - Native error: 00012");
    EXPECT_EQ(error.NativeError(), 12);
    EXPECT_EQ(error.ErrorCode(), 6);
}

TEST(ZipErrors, NamePartIsLeftOutForAComponentWithoutName) {
    EXPECT_STREQ(EZipError("", zip_error::kArchiveNotOpen).what(),
                 "Archive is not open - Native error: 00013");
}

TEST(ZipErrors, EveryInternalCodeHasItsPublicNumberAndText) {
    struct Row {
        int native_error;
        int error_code;
        const char* text;
    };
    const Row rows[] = {
        {5, 2, "Invalid compression mode. Mode must be in [0-9] range"},
        {8, 4, "Invalid size or check sum of file or unsupported compression format"},
        {10, 5, "File name is blank. Specify appropriate file name"},
        {12, 6, "File \"a.zip\" not found"},
        {13, 7, "Archive is not open"},
        {26, 13, "Cannot proceed when update is not ended. Preceding EndUpdate call is required."},
        {32, 16, "File is open in read-only mode"},
        {33, 12, "Cannot open file \"a.zip\""},
        {34, 17, "Invalid compressed size, rfs.size = 10, count = 12"},
        {41, 23, "Cannot compress file 'a.zip'. Zip64 mode is not enabled"},
        {43, 23, "Cannot compress file 'a.zip'. Zip64 mode is not enabled"},
        {45, 24, "Cannot open archive file. Opening aborted or invalid file"},
        {46, 25, "Write to stream error"},
        {55, 32, "Deflate64 compression method is not supported"},
        {61, 36, "File name is too long: \r\n\"a.zip\""},
        {62, 37, "Multiple transactions are not supported for multi-volume archives"},
        {40, 0, "Unknown error"},
        {9999, 0, "Unknown error"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.native_error);
        const EZipError error("X", row.native_error, {.file_name = "a.zip", .first = 10, .second = 12});
        EXPECT_EQ(error.ErrorCode(), row.error_code);
        char code[8];
        std::snprintf(code, sizeof code, "%05d", row.native_error);
        EXPECT_EQ(std::string(error.what()), std::string("X: ") + row.text + " - Native error: " + code);
    }
}

TEST(CompressionSettings, LevelAndModeAreCoupledAndModeAboveNineIsError5) {
    TZipArchiver zip{"Zip"};
    EXPECT_EQ(zip.CompressionLevel(), TZipCompressionLevel::clFastest);
    EXPECT_EQ(zip.CompressionMode(), 1);
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
        EXPECT_EQ(zip.CompressionMode(), mode);
    }
    try {
        zip.SetCompressionMode(10);
        ADD_FAILURE() << "mode 10 accepted";
    } catch (const EZipError& error) {
        EXPECT_EQ(error.NativeError(), 5);
        EXPECT_STREQ(error.what(),
                     "Zip: Invalid compression mode. Mode must be in [0-9] range - Native error: 00005");
    }
    EXPECT_EQ(zip.CompressionMode(), 9) << "a refused mode changes nothing";
}

TEST(CompressionSettings, ConstructorDefaultsAndVersionText) {
    TZipArchiver zip{"Zip"};
    EXPECT_EQ(zip.Name(), "Zip");
    EXPECT_EQ(zip.SpanningMode(), TZipSpanningMode::smNone);
    EXPECT_EQ(zip.Zip64Mode, TZip64Mode::zmDisabled);
    EXPECT_EQ(zip.Options.StorePath, TZipStorePathMode::spRelativePath);
    EXPECT_TRUE(zip.Options.Recurse);
    EXPECT_EQ(zip.Options.SearchAttr, 10431u);
    EXPECT_TRUE(zip.Options.FlushBuffers);
    EXPECT_TRUE(zip.Options.OEMFileNames);
    EXPECT_TRUE(zip.SpanningOptions.AdvancedNaming);
    EXPECT_EQ(zip.SpanningOptions.VolumeSize, TZipVolumeSize::vsAutoDetect);
    EXPECT_EQ(zip.SpanningOptions.FirstVolumeSize, 0);
    EXPECT_EQ(zip.SpanningOptions.CustomVolumeSize(), 0);
    EXPECT_EQ(TZipArchiver::CurrentVersion(), "2.75 ");
}

TEST(VolumeSizes, CustomSizeHasAFloorOf65536AndEveryNamedSizeItsBytes) {
    TZipSpanningOptions options;
    for (const auto& [asked, kept] : std::vector<std::pair<int64_t, int64_t>>{{1000, 65536},
                                                                              {-5, 65536},
                                                                              {0, 65536},
                                                                              {65535, 65536},
                                                                              {65536, 65536},
                                                                              {2'000'000, 2'000'000}}) {
        options.SetCustomVolumeSize(asked);
        EXPECT_EQ(options.CustomVolumeSize(), kept) << asked;
    }
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vsAutoDetect, 0), 0) << "no limit";
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vsCustom, 123456), 123456);
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vsCustom, 0), 65536)
        << "a size never set still has the floor";
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vs1_44MB, 0), 1'457'664);
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vs100MB, 0), 104'857'600);
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vs200MB, 0), 209'715'200);
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vs250MB, 0), 262'144'000);
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vs600MB, 0), 629'145'600);
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vs650MB, 0), 681'574'400);
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vs700MB, 0), 734'003'200);
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vs4700MB, 0), 4'928'307'200);
}

}  // namespace
}  // namespace ferrolo::archive
