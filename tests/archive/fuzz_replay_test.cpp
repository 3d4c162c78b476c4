// Every input kept for the archive reader's fuzzer — its seeds and the inputs that once crashed it — run
// through the same code in every build, so that a fixed crash stays fixed.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fuzz/reader_exercise.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::archive::fuzzing {
namespace {

std::vector<std::string> kept_inputs(const std::string& folder) {
    std::vector<std::string> paths;
    std::error_code missing;
    for (const auto& entry : std::filesystem::directory_iterator(folder, missing)) {
        if (entry.is_regular_file() && entry.path().filename() != "README.md") {
            paths.push_back(entry.path().string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(FuzzerInputs, SeedsAreArchivesTheEngineTests) {
    const auto seeds = kept_inputs(FERROLO_FUZZ_DIR "/corpus");
    ASSERT_FALSE(seeds.empty());
    ::ferrolo::testing::TempFolder folder;
    for (const std::string& seed : seeds) {
        SCOPED_TRACE(seed);
        const std::string bytes = ::ferrolo::testing::read_file(seed);
        EXPECT_EQ(exercise_archive_reader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                          folder / "scratch.zip"),
                  ReaderOutcome::Tested);
    }
}

TEST(FuzzerInputs, InputsThatOnceCrashedTheReaderAreHandled) {
    ::ferrolo::testing::TempFolder folder;
    for (const std::string& input : kept_inputs(FERROLO_FUZZ_DIR "/crashes")) {
        SCOPED_TRACE(input);
        const std::string bytes = ::ferrolo::testing::read_file(input);
        EXPECT_NO_THROW(exercise_archive_reader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                                folder / "scratch.zip"));
    }
}

}  // namespace
}  // namespace ferrolo::archive::fuzzing
