// tests/fuzz/zip_reader_fuzz.cpp — libFuzzer target: any bytes, opened and tested as an archive, as the
// archive test does. An archive the engine refuses raises its error 45; any other exception escapes and is
// a finding. The engine's unit tests link this file too, to replay the kept inputs in every build.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/file_system.h"
#include "zip/zip_archiver.h"

using namespace ferrolo::zip;

namespace {

// The file each input is written to, removed when the process ends.
struct ScratchFile {
    std::string path;
    ~ScratchFile() { std::remove(path.c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ScratchFile scratch{ferrolo::platform::temporary_folder() + "ferrolo-fuzz-" +
                                     std::to_string(::getpid()) + ".zip"};
    if (!std::ofstream(scratch.path, std::ios::binary)
             .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size))) {
        std::abort();  // a scratch file that cannot be written would hide every input
    }
    TZipArchiver tester{"ZipTest"};
    tester.FileName = scratch.path;
    tester.SetCompressionLevel(TZipCompressionLevel::clNormal);
    tester.OnProcessFileFailure = [](TZipArchiver&, const std::string&, TZipProcessOperation, int, int,
                                     const std::string&,
                                     TZipAction& action) { action = TZipAction::zaIgnore; };
    try {
        tester.Open(kOpenForReading);
    } catch (const EZipError&) {
        return 0;
    }
    tester.TestMask("*.*", kDefaultSearchAttr, "");
    tester.Close();
    return 0;
}
