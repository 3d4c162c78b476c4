// tests/fuzz/zip_reader_fuzz.cpp — libFuzzer target: any bytes, opened and tested as an archive.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_system.h"
#include "tests/fuzz/reader_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string scratch_path =
        ferrolo::platform::temporary_folder() + "ferrolo-fuzz-" + std::to_string(::getpid()) + ".zip";
    ferrolo::archive::fuzzing::exercise_archive_reader(data, size, scratch_path);
    return 0;
}
