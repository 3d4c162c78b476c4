// zip/zip_archiver.h — the ZIP engine: writes an archive from file masks, optionally split into
// volumes of a fixed size, and tests an archive by decompressing every entry and checking its CRC-32.
// All calls and events happen on the caller's thread, in order; worker threads only compress and check.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "zip/zip_error.h"

namespace ferrolo::zip {

enum class TZipCompressionLevel { clNone, clFastest, clNormal, clMax };
enum class TZipProcessOperation {
    poAdd,
    poMove,
    poDelete,
    poUpdate,
    poExtract,
    poTest,
    poRename,
    poChangeAttr,
    poChangeComment,
    poMakeSFX
};
enum class TZipProgressPhase { ppStart, ppProcess, ppEnd };
// The answers a failure question offers: a name that is too long cannot be retried.
enum class TZipActionChoices { AbortIgnore, AbortRetryIgnore };
enum class TZipStorePathMode { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum class TZip64Mode { zmDisabled, zmAuto, zmAlways };
enum class TZipSpanningMode { smNone, smSpanning, smSplitting };
enum class TZipVolumeSize {
    vsAutoDetect,
    vsCustom,
    vs1_44MB,
    vs100MB,
    vs200MB,
    vs250MB,
    vs600MB,
    vs650MB,
    vs700MB,
    vs4700MB
};
// How source files are shared while read, and the settings for extracting, which this engine never
// does; kept so that callers can set them as on the desktop.
enum class TZipShareMode {
    smShareCompat,
    smShareExclusive,
    smShareDenyWrite,
    smShareDenyRead,
    smShareDenyNone
};
enum class TZipOverwriteMode { omPrompt, omAlways, omNever };

// Modes of Open.
inline constexpr uint16_t kOpenForReading = 0;
inline constexpr uint16_t kOpenForReadWrite = 2;
inline constexpr uint16_t kCreateArchive = 65535;

// Attribute mask used by every caller: read-only, hidden, system, volume label, directory, archive,
// normal, compressed, not-content-indexed.
inline constexpr uint32_t kDefaultSearchAttr = 10431;

struct TZipOptions {
    TZipStorePathMode StorePath = TZipStorePathMode::spRelativePath;
    bool Recurse = true;
    TZipShareMode ShareMode = TZipShareMode::smShareDenyNone;
    TZipOverwriteMode OverwriteMode = TZipOverwriteMode::omAlways;
    bool CreateDirs = true;
    bool ReplaceReadOnly = true;
    bool SetAttributes = true;
    uint32_t SearchAttr = kDefaultSearchAttr;
    bool FlushBuffers = true;  // force the archive to the device when it is finished
    bool OEMFileNames = true;  // names in code page 850 where they fit, version fields 20
};

// The smallest volume a split archive is cut into.
inline constexpr int64_t kMinimumVolumeSize = 65536;

struct TZipSpanningOptions {
    bool AdvancedNaming = true;   // volumes lun_001.zip, lun_002.zip…; otherwise lun.z01, lun.z02…
    int64_t FirstVolumeSize = 0;  // above 0: the size of the first volume instead of VolumeSize
    TZipVolumeSize VolumeSize = TZipVolumeSize::vsAutoDetect;

    // Stores `size`, raised to kMinimumVolumeSize when below it (negative included).
    void SetCustomVolumeSize(int64_t size);
    int64_t CustomVolumeSize() const { return custom_volume_size_; }

private:
    int64_t custom_volume_size_ = 0;
};

// Bytes per volume for `size`; 0 for vsAutoDetect (a volume takes what its drive holds).
int64_t volume_size_in_bytes(TZipVolumeSize size, int64_t custom_volume_size);

// What every archiver component has: its name, the archive file, the selection settings and the
// compression level.
class TArchiverBase {
public:
    explicit TArchiverBase(std::string name);
    virtual ~TArchiverBase();
    TArchiverBase(const TArchiverBase&) = delete;
    TArchiverBase& operator=(const TArchiverBase&) = delete;

    // The component name that starts every error message ("Zip: …").
    const std::string& Name() const { return name_; }

    std::string FileName;
    // The folder relative masks and relative stored names start from; empty: the current folder.
    std::string BaseDir;
    // The folder for the temporary files entries are staged in when volumes are written; empty: the
    // system's temporary folder.
    std::string TempDir;
    TZipOptions Options;
    // Threads that read and compress entries (and check them in a test) beside the calling thread; 0: one
    // per processor the process may run on. The archive's bytes are the same whatever the number.
    unsigned WorkerThreads = 0;
    std::vector<std::string> ExclusionMasks;
    // Absolute paths of files never packed, compared exactly (the caller's own files, such as copies of
    // the archive); the archive and its temporary file are always left out this way.
    std::vector<std::string> ExcludedFiles;

    // Level and mode are coupled: clNone 0, clFastest 1, clNormal 6, clMax 9; and 0 → clNone,
    // 1-3 → clFastest, 4-6 → clNormal, 7-9 → clMax.
    void SetCompressionLevel(TZipCompressionLevel level);
    TZipCompressionLevel CompressionLevel() const { return compression_level_; }
    // Sets the deflate level 0-9 (0 stores); any other value raises EZipError 5.
    void SetCompressionMode(int mode);
    int CompressionMode() const { return compression_mode_; }

    // "2.75 ": the number with two decimals, a blank and the empty edition text.
    static std::string CurrentVersion();

private:
    std::string name_;
    TZipCompressionLevel compression_level_ = TZipCompressionLevel::clFastest;
    int compression_mode_ = 1;
};

class TZipArchiver : public TArchiverBase {
public:
    explicit TZipArchiver(std::string name);
    // Releases the files; an update still pending is not written (call Close for that).
    ~TZipArchiver() override;

    TZip64Mode Zip64Mode = TZip64Mode::zmDisabled;
    TZipSpanningOptions SpanningOptions;

    // Throws std::runtime_error "Cannot set spanning mode on open archive" while an archive is open.
    void SetSpanningMode(TZipSpanningMode mode);
    TZipSpanningMode SpanningMode() const { return spanning_mode_; }

    // kCreateArchive creates FileName (split: its first volume); any other mode opens an existing
    // archive and reads its directory (for writing too when the mode asks for it). Closes an open
    // archive first. EZipError 10 for a name without a file part, 12 for a missing file, 33 when the
    // archive cannot be created, 45 when it is no archive or is damaged.
    void Open(uint16_t mode);
    // Starts collecting changes; nested calls count, only the outermost EndUpdate writes. Opens FileName
    // when nothing is open. EZipError 32 on an archive open for reading, 62 on a split archive
    // already written.
    void BeginUpdate();
    // Queues the files and folders `mask` selects (Windows wildcards in its file part, folders walked)
    // whose attributes share a bit with `search_attr`, leaving out `exclusion_mask`, ExclusionMasks,
    // ExcludedFiles and the archive itself; writes at once outside an outer update. EZipError 13 when nothing
    // is open.
    void AddMask(const std::string& mask, uint32_t search_attr, const std::string& exclusion_mask);
    // When it closes the outermost update: writes the queued entries, the central directory and the end
    // records. A cancelled or aborted write still ends with a directory of the entries written whole.
    void EndUpdate();
    // Decompresses every entry whose name matches `mask` ("*.*" is every entry) and not
    // `exclusion_mask`, checking its size and CRC-32. EZipError 13 when nothing is open, 26 while an
    // update is pending.
    void TestMask(const std::string& mask, uint32_t search_attr, const std::string& exclusion_mask);
    // Writes a pending update, finishes and closes the archive files, which are released even when that
    // fails; harmless when nothing is open.
    void Close();
    bool IsOpen() const;

    // Events, fired synchronously in the order the work happens.
    std::function<void(TZipArchiver& sender, const std::string& file_name, double progress,
                       TZipProcessOperation operation, TZipProgressPhase phase, bool& cancel)>
        OnFileProgress;
    std::function<void(TZipArchiver& sender, double progress, TZipProcessOperation operation,
                       TZipProgressPhase phase, bool& cancel)>
        OnOverallProgress;
    // Entered with action = zaIgnore.
    std::function<void(TZipArchiver& sender, const std::string& file_name, TZipProcessOperation operation,
                       int native_error, int error_code, const std::string& error_message,
                       TZipAction& action)>
        OnProcessFileFailure;
    // Volume number from 1; entered with cancel = false. A changed volume name is not used: the set must
    // keep the names it is read back by.
    std::function<void(TZipArchiver& sender, int volume_number, std::string& volume_file_name, bool& cancel)>
        OnDiskFull;
    std::function<void(TZipArchiver& sender, std::string& file_name, uint32_t& file_attr,
                       std::string& comment, const std::string& original_file_name)>
        OnStoreFile;
    // Asked when OnProcessFileFailure has no handler (the caller's message box); unset, the answer is
    // zaIgnore, so an unattended run never waits.
    std::function<TZipAction(std::string_view text, TZipActionChoices choices)> AskUser;

private:
    struct Impl;
    friend struct Impl;

    TZipSpanningMode spanning_mode_ = TZipSpanningMode::smNone;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ferrolo::zip
