// tests/fuzz/reader_exercise.h — what the fuzzer does with one input, shared with the unit test that
// replays the kept inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ferrolo::archive::fuzzing {

enum class ReaderOutcome { Rejected, Tested };

// Writes `data` to `scratch_path` and has the engine open it for reading and test every entry, as the
// archive test does. An archive the engine refuses is Rejected; any other exception escapes.
ReaderOutcome exercise_archive_reader(const uint8_t* data, size_t size, const std::string& scratch_path);

}  // namespace ferrolo::archive::fuzzing
