// zip/zip_error.h — the errors the ZIP engine raises: internal code, public number and message.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "platform/system_error.h"

namespace ferrolo::zip {

// Internal codes (the failure event's NativeError) of the errors this engine raises.
namespace zip_error {
inline constexpr int kInvalidCompressionMode = 5;
inline constexpr int kBadEntryData = 8;  // size or CRC-32 mismatch, unsupported method, damaged entry
inline constexpr int kBlankFileName = 10;
inline constexpr int kFileNotFound = 12;
inline constexpr int kArchiveNotOpen = 13;
inline constexpr int kUpdateNotEnded = 26;
inline constexpr int kReadOnlyArchive = 32;
inline constexpr int kCannotOpenFile = 33;
inline constexpr int kSizeChanged = 34;
inline constexpr int kZip64SizeDisabled = 41;
inline constexpr int kZip64OffsetDisabled = 43;
inline constexpr int kInvalidArchive = 45;
inline constexpr int kWriteFailed = 46;
inline constexpr int kDeflate64 = 55;
inline constexpr int kNameTooLong = 61;
inline constexpr int kSecondVolumeUpdate = 62;
}  // namespace zip_error

// The values a message text takes: "%s" is `file_name`, the two "%d" are `first` and `second`.
struct ZipErrorDetail {
    std::string_view file_name = {};
    int64_t first = 0;
    int64_t second = 0;
};

// Public number of an internal code; 0 for a code the engine does not know.
int zip_error_number(int native_error);
// Message text of an internal code with its values filled in; "Unknown error" for an unknown code.
std::string zip_error_text(int native_error, const ZipErrorDetail& detail = {});

class EZipError : public std::runtime_error {
public:
    // The full message: "<component>: <text> - Native error: 000nn", the name and ": " left out when
    // `component_name` is empty.
    EZipError(std::string_view component_name, int native_error, const ZipErrorDetail& detail = {});

    int NativeError() const { return native_error_; }
    int ErrorCode() const { return error_code_; }

private:
    int native_error_;
    int error_code_;
};

// Runs `platform_call` and returns its result; the SystemError it may throw is raised as the engine's own
// EZipError(`component_name`, `native_error`, `detail`).
template <typename PlatformCall>
decltype(auto) as_zip_error(std::string_view component_name, int native_error, const ZipErrorDetail& detail,
                            PlatformCall&& platform_call) {
    try {
        return platform_call();
    } catch (const platform::SystemError&) {
        throw EZipError(component_name, native_error, detail);
    }
}
template <typename PlatformCall>
decltype(auto) as_zip_error(std::string_view component_name, int native_error, PlatformCall&& platform_call) {
    return as_zip_error(component_name, native_error, {}, std::forward<PlatformCall>(platform_call));
}

// What a failure handler (or the caller's question) answers for a file that failed.
enum class TZipAction { zaRetry, zaIgnore, zaAbort };

// How an operation that may fail ended: done, left out on zaIgnore, or stopped on zaAbort.
enum class Attempt { Done, Ignored, Aborted };

// Runs `operation` until it ends without throwing `Failure`; after each failure, `decide(failure)`
// answers with a TZipAction: zaRetry runs the operation again.
template <typename Failure, typename Operation, typename Decide>
Attempt attempt_until_decided(Operation&& operation, Decide&& decide) {
    for (;;) {
        try {
            operation();
            return Attempt::Done;
        } catch (const Failure& failure) {
            switch (decide(failure)) {
                case TZipAction::zaRetry:
                    continue;
                case TZipAction::zaIgnore:
                    return Attempt::Ignored;
                case TZipAction::zaAbort:
                    return Attempt::Aborted;
            }
        }
    }
}

}  // namespace ferrolo::zip
