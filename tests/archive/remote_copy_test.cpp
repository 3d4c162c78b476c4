#include "archive/remote_copy.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <filesystem>

#include "platform/file_system.h"
#include "tests/archive/run_steps_fixture.h"

namespace ferrolo::archive {
namespace {

using testing::is_stamped;
using testing::read_file;

class RemoteCopy : public testing::RunStepsTest {
protected:
    // The copy block's lines from "Stato:" on must follow the same pattern whatever the outcome.
    void expect_summary(const std::vector<std::string>& lines, size_t from, const std::string& status,
                        const std::string& destination) {
        ASSERT_EQ(lines.size(), from + 8);
        EXPECT_EQ(lines[from], report::kRuleLine);
        EXPECT_EQ(lines[from + 1], "Stato:");
        EXPECT_EQ(lines[from + 2], status);
        EXPECT_TRUE(is_stamped(lines[from + 3], "                      Inizio copia: ")) << lines[from + 3];
        EXPECT_TRUE(is_stamped(lines[from + 4], "                        Fine copia: ")) << lines[from + 4];
        EXPECT_EQ(lines[from + 5].substr(0, 36), "                      Durata copia: ");
        EXPECT_EQ(lines[from + 6], "Fine copia archivio su: " + destination);
        EXPECT_EQ(lines[from + 7], report::kRuleLine);
    }
};

TEST_F(RemoteCopy, FirstCopyToANewFolderSaysThereWasNothingToDeleteAndCopies) {
    testing::write_file(job.PARAM_2, std::string(150'000, 'z'));
    const std::string destination = folder.make_folder("remote") + "/";
    Copia_Su_Remoto(run, destination);

    const auto lines = run_log();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], report::kRuleLine);
    EXPECT_EQ(lines[2], "                Cancello: " + destination + "lun.zip");
    EXPECT_EQ(lines[3], "  Impossibile cancellare: " + destination + "lun.zip");
    EXPECT_EQ(lines[4], "Inizio copia archivio su: " + destination);
    expect_summary(lines, 5, "Nessun errore durante la copia.", destination);
    EXPECT_EQ(read_file(destination + "lun.zip"), read_file(job.PARAM_2));
    EXPECT_EQ(run_log(), extended_log());
    EXPECT_FALSE(state.Copy_Error || state.Zip_Error);
    EXPECT_EQ(display.label(core::Label::l_stato), "Fine copia archivio.");
    const auto traced = trace();
    ASSERT_EQ(traced.size(), 8u);
    EXPECT_EQ(traced[1], "                        Copia file: " + job.PARAM_2);
    EXPECT_EQ(traced[2], "                                in: " + destination + "lun.zip");
    EXPECT_EQ(traced[3], "Nessun errore durante la copia.");
    EXPECT_EQ(traced[7].substr(0, 14), "Durata copia: ");
}

TEST_F(RemoteCopy, SecondCopyReplacesTheFirstAndLeavesNoTemporaryFile) {
    const std::string destination = folder.make_folder("remote") + "/";
    testing::write_file(destination + "lun.zip", "yesterday");
    testing::write_file(job.PARAM_2, "today's archive");
    Copia_Su_Remoto(run, destination);
    EXPECT_EQ(run_log()[3], "Inizio copia archivio su: " + destination) << "no 'Impossibile cancellare' line";
    EXPECT_EQ(read_file(destination + "lun.zip"), "today's archive");
    EXPECT_EQ(platform::find_files(destination, "*").size(), 1u);
}

TEST_F(RemoteCopy, DestinationWithoutTrailingSeparatorIsJoinedAsWritten) {
    testing::write_file(job.PARAM_2, "x");
    Copia_Su_Remoto(run, folder / "backup");
    EXPECT_EQ(run_log()[2], "                Cancello: " + (folder / "backuplun.zip"));
    EXPECT_TRUE(platform::file_exists(folder / "backuplun.zip"));
}

TEST_F(RemoteCopy, MissingArchiveEndsTheBlockAfterItsStartLine) {
    Copia_Su_Remoto(run, folder.make_folder("remote") + "/");
    const auto lines = run_log();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[5], "File: " + job.PARAM_2 + " non trovato !");
    EXPECT_EQ(trace().size(), 1u);
    EXPECT_EQ(display.label(core::Label::l_stato), "Copio archivio su remoto...");
}

TEST_F(RemoteCopy, FailedCopyIsReportedWithoutTouchingThePackingFlag) {
    testing::write_file(job.PARAM_2, "x");
    const std::string destination = folder / "missing/";
    Copia_Su_Remoto(run, destination);
    expect_summary(run_log(), 5, "Errori durante la copia !", destination);
    EXPECT_EQ(run_log()[10], "                      Durata copia: 00:00:00");
    EXPECT_TRUE(state.Copy_Error);
    EXPECT_FALSE(state.Zip_Error);
}

// A real small file system: the new copy does not fit beside the previous one.
TEST_F(RemoteCopy, CopyToAFullDriveKeepsThePreviousCopyIntact) {
    const std::string destination = folder.make_folder("small") + "/";
    if (::mount("tmpfs", destination.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    testing::write_file(destination + "lun.zip", "previous copy");
    testing::write_file(job.PARAM_2, std::string(1 << 20, 'n'));
    Copia_Su_Remoto(run, destination);
    const std::string kept = read_file(destination + "lun.zip");
    const size_t files_left = platform::find_files(destination, "*").size();
    ::umount(destination.c_str());
    EXPECT_EQ(kept, "previous copy");
    EXPECT_EQ(files_left, 1u) << "the partial copy is removed";
    EXPECT_TRUE(state.Copy_Error);
    EXPECT_EQ(run_log()[6], "Errori durante la copia !");
}

class Verification : public testing::RunStepsTest {
protected:
    bool verify(const std::string& source, const std::string& target) {
        return Verifica(run, folder.write("source", source), folder.write("target", target));
    }
};

TEST_F(Verification, FilesUnderOneHundredBytesAreNotSampled) {
    EXPECT_TRUE(verify(std::string(99, 'a'), std::string(99, 'b')));
    EXPECT_FALSE(state.Zip_Error);
}

TEST_F(Verification, OneHundredBytesCompareTheFirstTenOnly) {
    std::string source(100, 'a');
    std::string target = source;
    target[50] = 'b';
    EXPECT_TRUE(verify(source, target));
    target[9] = 'b';
    EXPECT_FALSE(verify(source, target));
    EXPECT_TRUE(state.Zip_Error);
}

TEST_F(Verification, SamplesAreSpreadSoTheLastByteOfHalfAMegabyteIsNotSeen) {
    std::string source(500'000, 'a');
    std::string target = source;
    target.back() = 'b';
    EXPECT_TRUE(verify(source, target));
    target[9 * (50'000 - 10) + 3] = 'b';  // inside the tenth sample
    EXPECT_FALSE(verify(source, target));
}

TEST_F(Verification, ShorterCopyOrOverlongPathCannotBeVerified) {
    EXPECT_FALSE(verify(std::string(1'000, 'a'), std::string(500, 'a')));
    EXPECT_EQ(run_log().back(),
              "Impossibile verificare: " + (folder / "source") + " e " + (folder / "target"));
    EXPECT_TRUE(state.Zip_Error);

    state.Zip_Error = false;
    const std::string long_name = folder / std::string(1'001, 'l');
    EXPECT_FALSE(Verifica(run, folder / "source", long_name));
    EXPECT_EQ(run_log().back(), "Impossibile verificare: " + (folder / "source") + " e " + long_name);
    EXPECT_TRUE(state.Zip_Error);
}

}  // namespace
}  // namespace ferrolo::archive
