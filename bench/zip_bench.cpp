// bench/zip_bench.cpp — packs one folder mask the way a backup run does (deflate level 9, Zip64 as
// needed, full paths) and optionally tests the result, with the engine alone: for profiling what the
// engine costs apart from the program around it (bench/run measures the program).
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "zip/zip_archiver.h"

int main(int argc, char** argv) {
    using ferrolo::zip::TZipArchiver;
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE MASK [test]\n", argv[0]);
        return 2;
    }
    int failures = 0;
    TZipArchiver zip{"Zip"};
    zip.OnProcessFileFailure = [&](TZipArchiver&, const std::string&, ferrolo::zip::TZipProcessOperation, int,
                                   int, const std::string& message, ferrolo::zip::TZipAction&) {
        std::fprintf(stderr, "%s\n", message.c_str());
        ++failures;
    };
    try {
        const auto start = std::chrono::steady_clock::now();
        zip.FileName = argv[1];
        zip.Options.StorePath = ferrolo::zip::TZipStorePathMode::spFullPath;
        zip.Open(ferrolo::zip::kCreateArchive);
        zip.Zip64Mode = ferrolo::zip::TZip64Mode::zmAuto;
        zip.SetCompressionLevel(ferrolo::zip::TZipCompressionLevel::clMax);
        zip.BeginUpdate();
        zip.AddMask(argv[2], ferrolo::zip::kDefaultSearchAttr, "");
        zip.EndUpdate();
        zip.Close();
        const std::chrono::duration<double> packed = std::chrono::steady_clock::now() - start;
        std::printf("packed in %.2f s\n", packed.count());
        if (argc > 3) {
            TZipArchiver test{"ZipTest"};
            test.OnProcessFileFailure = zip.OnProcessFileFailure;
            test.FileName = argv[1];
            test.Open(ferrolo::zip::kOpenForReading);
            test.TestMask("*.*", ferrolo::zip::kDefaultSearchAttr, "");
            test.Close();
            const std::chrono::duration<double> tested = std::chrono::steady_clock::now() - start - packed;
            std::printf("tested in %.2f s\n", tested.count());
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
