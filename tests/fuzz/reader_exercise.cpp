#include "tests/fuzz/reader_exercise.h"

#include <fstream>
#include <stdexcept>

#include "archive/zip_archiver.h"

namespace ferrolo::archive::fuzzing {

ReaderOutcome exercise_archive_reader(const uint8_t* data, size_t size, const std::string& scratch_path) {
    {
        std::ofstream out(scratch_path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out.good()) {
            throw std::runtime_error("cannot write " + scratch_path);
        }
    }
    TZipArchiver tester{"ZipTest"};
    tester.FileName = scratch_path;
    tester.SetCompressionLevel(TZipCompressionLevel::clNormal);
    tester.OnProcessFileFailure = [](TZipArchiver&, const std::string&, TZipProcessOperation, int, int,
                                     const std::string&,
                                     TZipAction& action) { action = TZipAction::zaIgnore; };
    try {
        tester.Open(kOpenForReading);
    } catch (const EZipError&) {
        return ReaderOutcome::Rejected;
    }
    tester.TestMask("*.*", kDefaultSearchAttr, "");
    tester.Close();
    return ReaderOutcome::Tested;
}

}  // namespace ferrolo::archive::fuzzing
