// Every input kept for the archive reader's fuzzer — its seeds and the inputs that once crashed it — run
// through the same code in every build, so that a fixed crash stays fixed.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/fuzz/reader_exercise.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::archive::fuzzing {
namespace {

TEST(FuzzerInputs, SeedsAreArchivesTheEngineTestsAndInputsThatOnceCrashedTheReaderAreHandled) {
    ::ferrolo::testing::TempFolder folder;
    for (const std::string kept : {"corpus", "crashes"}) {
        std::set<std::string> inputs;
        for (const auto& entry : std::filesystem::directory_iterator(FERROLO_FUZZ_DIR "/" + kept)) {
            if (entry.is_regular_file() && entry.path().filename() != "README.md") {
                inputs.insert(entry.path().string());
            }
        }
        EXPECT_TRUE(kept == "crashes" || !inputs.empty()) << "no seeds";
        for (const std::string& input : inputs) {
            const std::string bytes = ::ferrolo::testing::read_file(input);
            // An exception escaping fails the test: the reader must reject a bad input with its error 45.
            const ReaderOutcome outcome = exercise_archive_reader(
                reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), folder / "scratch.zip");
            EXPECT_TRUE(kept == "crashes" || outcome == ReaderOutcome::Tested) << input;
        }
    }
}

}  // namespace
}  // namespace ferrolo::archive::fuzzing
