// tests/support/fake_systemctl.h — a stand-in `systemctl`, first on PATH while it lives, so that no test
// reaches the real one. In its folder, which the test writes and reads, a service is the file NAME holding
// its ActiveState (empty: a service systemd does not know); NAME.slow makes it stop two seconds after the
// request, NAME.stuck never, and NAME.broken makes its start fail; NAME.on-CALL holds shell commands run
// before it answers CALL. The file "calls" records each call as "ARGUMENTS; ", a service's state queries
// once, as "show NAME; ".
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <stdexcept>

#include "platform/posix/run_program.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::testing {

class FakeSystemctl : public TempFolder {
public:
    // Throws, so the test cannot go on, unless `systemctl` on PATH is now this fake.
    FakeSystemctl() : previous_path_(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin") {
        ::chmod(write("bin/systemctl", kScript).c_str(), 0755);
        ::setenv("PATH", (*this / "bin:" + previous_path_).c_str(), 1);
        if (platform::find_program("systemctl") != *this / "bin/systemctl") {
            ::setenv("PATH", previous_path_.c_str(), 1);
            throw std::runtime_error("the fake systemctl is not first on PATH: refusing to run");
        }
    }
    ~FakeSystemctl() { ::setenv("PATH", previous_path_.c_str(), 1); }

private:
    static constexpr char kScript[] = R"sh(#!/bin/sh
cd "$(dirname "$0")/.." || exit 1
for unit; do :; done
if [ "$1" != show ]; then printf '%s; ' "$*" >> calls
elif [ ! -f "$unit.shown" ]; then printf 'show %s; ' "$unit" >> calls; : > "$unit.shown"; fi
if [ -f "$unit.on-$1" ]; then sh "$unit.on-$1"; fi
case "$1" in
show) if [ "$3" = ActiveState ]; then cat "$unit"; echo; elif [ -s "$unit" ]; then echo loaded; else echo not-found; fi ;;
start) [ -f "$unit.broken" ] && { printf failed > "$unit"; exit 1; }; printf active > "$unit" ;;
stop) printf deactivating > "$unit"
    if [ -f "$unit.slow" ]; then (sleep 2; printf inactive > "$unit") > /dev/null 2>&1 &
    elif [ ! -f "$unit.stuck" ]; then printf inactive > "$unit"; fi ;;
esac
)sh";

    const std::string previous_path_;
};

// The lines of `lines` that speak of a service, each after its time stamp where it has one.
inline std::vector<std::string> service_lines(const std::vector<std::string>& lines) {
    std::vector<std::string> found;
    for (const std::string& line : lines) {
        if (line.find("ervizio") != std::string::npos) {
            found.push_back(line.substr(line.find('\\') + 1));  // npos + 1: from the start
        }
    }
    return found;
}

}  // namespace ferrolo::testing
