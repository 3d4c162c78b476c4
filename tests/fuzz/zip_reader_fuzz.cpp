// tests/fuzz/zip_reader_fuzz.cpp — libFuzzer target: any bytes, opened and tested as an archive.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/file_system.h"
#include "tests/fuzz/reader_exercise.h"

namespace {

// The file each input is written to, removed when the fuzzer ends.
struct ScratchFile {
    std::string path;
    ~ScratchFile() { std::remove(path.c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ScratchFile scratch{ferrolo::platform::temporary_folder() + "ferrolo-fuzz-" +
                                     std::to_string(::getpid()) + ".zip"};
    ferrolo::archive::fuzzing::exercise_archive_reader(data, size, scratch.path);
    return 0;
}
