// tests/support/temp_folder.h — a fresh folder per test, removed with its contents afterwards.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolo::testing {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, with a trailing separator.
    const std::string& path() const { return path_; }
    // path() + `relative`.
    std::string operator/(std::string_view relative) const { return path_ + std::string(relative); }

    // Writes `content` to path() + `relative`, creating the folders on the way; returns the full path.
    std::string write(std::string_view relative, std::string_view content) const;
    // Creates the folder path() + `relative` (and its parents); returns the full path.
    std::string make_folder(std::string_view relative) const;

private:
    std::string path_;
};

// The whole content of `path`; fails the test when it cannot be read.
std::string read_file(const std::string& path);
// Writes `content` to `path`, replacing it.
void write_file(const std::string& path, std::string_view content);
// `text` split at CR LF; a text that does not end with CR LF gives a last item of its tail.
std::vector<std::string> crlf_lines(std::string_view text);
// How many of `lines` start with `prefix`.
std::ptrdiff_t count_starting(const std::vector<std::string>& lines, std::string_view prefix);

}  // namespace ferrolo::testing
