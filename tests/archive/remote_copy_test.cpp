#include "archive/remote_copy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/file_system.h"
#include "tests/archive/run_steps_fixture.h"

namespace ferrolo::archive {
namespace {

using core::kRuleLine;
using testing::read_file;

class RemoteCopy : public testing::RunStepsTest {
protected:
    // The block a copy to `destination` writes, up to `status` and after, with the
    // "Impossibile cancellare" line only when there was no earlier copy to replace.
    static Lines block(const std::string& destination, bool replaces, const std::string& status) {
        const std::string target = destination + "lun.zip";
        Lines lines = {"", kRuleLine, "                Cancello: " + target};
        if (!replaces) {
            lines.push_back("  Impossibile cancellare: " + target);
        }
        lines.insert(lines.end(), {"Inizio copia archivio su: " + destination, kRuleLine, "Stato:", status,
                                   "                      Inizio copia: <when>",
                                   "                        Fine copia: <when>",
                                   "                      Durata copia: <when>",
                                   "Fine copia archivio su: " + destination, kRuleLine});
        return lines;
    }

    // The lines `Copia_Su_Remoto` adds to the run log.
    Lines copy_to(const std::string& destination) {
        const size_t before = run_log().size();
        Copia_Su_Remoto(run, destination);
        const Lines lines = run_log();
        return Lines(lines.begin() + static_cast<long>(before), lines.end());
    }
};

TEST_F(RemoteCopy, EveryCopyWritesItsBlockReplacesTheEarlierCopyAndAFailureRaisesOnlyTheCopyFlag) {
    const std::string remote = folder.make_folder("remote") + "/";
    const mode_t mask = ::umask(027);
    const struct {
        std::string archive, destination;
        bool replaces, fails;
    } copies[] = {
        {std::string(150'000, 'z'), remote, false, false},  // the first copy to a new folder
        {"today's archive", remote, true, false},
        {"x", folder / "backup", false, false},  // joined as written, without a separator
        {"x", folder / "missing/", false, true},
    };
    for (const auto& [archive, destination, replaces, fails] : copies) {
        testing::write_file(job.PARAM_2, archive);
        EXPECT_EQ(copy_to(destination),
                  block(destination, replaces,
                        fails ? "Errori durante la copia !" : "Nessun errore durante la copia."));
        EXPECT_EQ(state.Copy_Error, fails);
        EXPECT_EQ(
            platform::file_exists(destination + "lun.zip") && read_file(destination + "lun.zip") == archive,
            !fails);
    }
    struct stat copied {};
    ::stat((remote + "lun.zip").c_str(), &copied);
    ::umask(mask);
    EXPECT_EQ(copied.st_mode & 0777, 0600u) << "a backup is readable by its owner alone";
    EXPECT_FALSE(state.Zip_Error) << "a failed copy is no packing error";
    EXPECT_EQ(platform::find_files(remote, "*").size(), 1u) << "no temporary file is left";
    EXPECT_NE(read_file(job.PARAM_3)
                  .find("Durata copia: 00:00:00\r\nFine copia archivio su: " + (folder / "missing/")),
              std::string::npos);
    EXPECT_EQ(run_log(), extended_log());
    const Lines traced = trace();
    ASSERT_GE(traced.size(), 7u);
    EXPECT_EQ(Lines(traced.end() - 7, traced.end() - 4),
              (Lines{"                        Copia file: " + job.PARAM_2,
                     "                                in: " + (folder / "missing/lun.zip"),
                     "Errori durante la copia !"}));
    EXPECT_EQ(display.label(core::Label::l_stato), "Fine copia archivio.");

    std::remove(job.PARAM_2.c_str());
    EXPECT_EQ(copy_to(remote),
              (Lines{"", kRuleLine, "                Cancello: " + remote + "lun.zip",
                     "Inizio copia archivio su: " + remote, "File: " + job.PARAM_2 + " non trovato !"}))
        << "a missing archive ends the block after its start line";
    EXPECT_TRUE(state.Copy_Error) << "a copy that found no archive failed";
    EXPECT_EQ(trace().size(), traced.size() + 1);
    EXPECT_EQ(display.label(core::Label::l_stato), "Copio archivio su remoto...");
}

TEST_F(RemoteCopy, VerificationComparesEveryByteAndRefusesAShorterOrOverlongCopy) {
    const auto changed = [](std::string text, size_t at) {
        text[at] = 'b';
        return text;
    };
    const std::string small(99, 'a'), large(3'000'000, 'a');  // more than two blocks of the comparison
    const std::string deep = std::string(250, 'd') + "/", overlong = deep + deep + deep + deep + "copy";
    // Source, the copy's name and bytes, and whether they pass. A shorter copy, or an equal one at a path
    // over 1,000 characters, cannot be verified.
    const std::vector<std::tuple<std::string, std::string, std::string, bool>> cases = {
        {small, "target", changed(small, 50), false},
        {large, "target", large, true},
        {large, "target", changed(large, large.size() - 1), false},  // the last byte
        {large, "target", changed(large, 1 << 20), false},           // the first of the second block
        {large, "target", large + "x", false},                       // one byte more
        {large, "shorter", large.substr(1), false},
        {small, overlong, small, false}};
    for (const auto& [source, name, copy, same] : cases) {
        state.Zip_Error = false;
        EXPECT_EQ(Verifica(run, folder.write("source", source), folder.write(name, copy)), same)
            << name << " " << copy.size();
        EXPECT_EQ(state.Zip_Error, !same);
    }
    const std::string refused = "Impossibile verificare: " + (folder / "source") + " e ";
    EXPECT_EQ(run_log(), (Lines{refused + (folder / "shorter"), refused + (folder / overlong)}))
        << "a difference writes no line";
}

// A copy goes inside a folder named without its "/", under a temporary name that fits whatever the
// archive's name.
TEST_F(RemoteCopy, CopyGoesIntoAFolderNamedWithoutSlashAndAnyArchiveNameFitsItsTemporaryName) {
    const std::string remote = folder.make_folder("remote");
    const std::string long_name = std::string(246, 'n') + ".zip";
    for (const auto& [archive, destination] :
         std::vector<std::pair<std::string, std::string>>{{"lun.zip", remote}, {long_name, remote + "/"}}) {
        job.PARAM_2 = folder.write(archive, "archive " + archive.substr(0, 8));
        Copia_Su_Remoto(run, destination);
        EXPECT_EQ(read_file(remote + "/" + archive), read_file(job.PARAM_2));
    }
    EXPECT_FALSE(state.Copy_Error);
    EXPECT_FALSE(platform::file_exists(remote + "lun.zip")) << "never beside the folder";
}

}  // namespace
}  // namespace ferrolo::archive
