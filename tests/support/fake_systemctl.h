// tests/support/fake_systemctl.h — a stand-in `systemctl`, first on PATH while it lives, so that no test
// reaches the real one: a service is a file in its folder holding its state (systemd's ActiveState), and
// every call is recorded, a service's state queries as its first one alone ("show NAME").
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::testing {

class FakeSystemctl {
public:
    // Throws, so the test cannot go on, unless `systemctl` on PATH is now this fake.
    FakeSystemctl() : previous_path_(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin") {
        ::chmod(folder_.write("bin/systemctl", kScript).c_str(), 0755);
        folder_.write("calls", "");
        ::setenv("PATH", (folder_ / "bin:" + previous_path_).c_str(), 1);
        if (platform::find_program("systemctl") != folder_ / "bin/systemctl") {
            ::setenv("PATH", previous_path_.c_str(), 1);
            throw std::runtime_error("the fake systemctl is not first on PATH: refusing to run");
        }
    }
    ~FakeSystemctl() { ::setenv("PATH", previous_path_.c_str(), 1); }

    // Adds the service `name` in `state` (empty: a service systemd does not know); `behaviour` "slow" stops
    // it two seconds after the request, "stuck" never, "broken" makes its start fail.
    void add(const std::string& name, const std::string& state, const std::string& behaviour = "") const {
        folder_.write(name, state);
        folder_.write(name + "." + behaviour, "");
    }
    // Shell commands the fake runs when `name` is asked to `call` ("stop", "start"), before it answers.
    void on(const std::string& call, const std::string& name, const std::string& commands) const {
        folder_.write(name + ".on-" + call, commands);
    }
    std::string state(const std::string& name) const { return read_file(folder_ / name); }
    std::vector<std::string> calls() const { return crlf_lines(read_file(folder_ / "calls")); }

private:
    static constexpr std::string_view kScript = R"sh(#!/bin/sh
cd "$(dirname "$0")/.." || exit 1
for unit; do :; done
if [ "$1" != show ]; then printf '%s\r\n' "$*" >> calls
elif [ ! -f "$unit.shown" ]; then printf 'show %s\r\n' "$unit" >> calls; : > "$unit.shown"; fi
if [ -f "$unit.on-$1" ]; then sh "$unit.on-$1"; fi
case "$1" in
show) if [ "$3" = ActiveState ]; then cat "$unit"; echo; elif [ -s "$unit" ]; then echo loaded; else echo not-found; fi ;;
start) [ -f "$unit.broken" ] && { printf failed > "$unit"; exit 1; }; printf active > "$unit" ;;
stop) printf deactivating > "$unit"
    if [ -f "$unit.slow" ]; then (sleep 2; printf inactive > "$unit") > /dev/null 2>&1 &
    elif [ ! -f "$unit.stuck" ]; then printf inactive > "$unit"; fi ;;
esac
)sh";

    TempFolder folder_;
    const std::string previous_path_;
};

}  // namespace ferrolo::testing
