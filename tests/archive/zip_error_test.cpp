// The engine's settings as the callers see them.
#include <gtest/gtest.h>

#include "archive/zip_archiver.h"

namespace ferrolo::archive {
namespace {

TEST(CompressionSettings, EachLevelHasItsDeflateMode) {
    TZipArchiver zip{"Zip"};
    std::string modes;
    for (const auto level : {TZipCompressionLevel::clNone, TZipCompressionLevel::clFastest,
                             TZipCompressionLevel::clNormal, TZipCompressionLevel::clMax}) {
        zip.SetCompressionLevel(level);
        modes += std::to_string(zip.CompressionMode());
    }
    EXPECT_EQ(modes, "0169");
}

TEST(VolumeSizes, CustomSizeHasAFloorOf65536EvenWhenNeverSet) {
    TZipSpanningOptions options;
    std::string kept = std::to_string(volume_size_in_bytes(TZipVolumeSize::vsCustom, 0));
    for (const int64_t asked : {1000, -5, 65535, 65536, 2'000'000}) {
        options.SetCustomVolumeSize(asked);
        kept += " " + std::to_string(options.CustomVolumeSize());
    }
    EXPECT_EQ(kept, "65536 65536 65536 65536 65536 2000000");
    EXPECT_EQ(volume_size_in_bytes(TZipVolumeSize::vsAutoDetect, 0), 0) << "no limit";
}

}  // namespace
}  // namespace ferrolo::archive
