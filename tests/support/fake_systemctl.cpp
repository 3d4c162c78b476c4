#include "tests/support/fake_systemctl.h"

#include <sys/stat.h>

#include <cstdlib>
#include <stdexcept>

#include "platform/process.h"

namespace ferrolo::testing {

namespace {

// Answers the calls Ferrolo makes: show -p KEY --value -- UNIT, start -- UNIT, stop --no-block -- UNIT,
// poweroff. A unit is the file units/UNIT holding its ActiveState; files beside it give its behaviour.
constexpr std::string_view kScript = R"(#!/bin/sh
here=$(dirname "$0")
echo "$*" >> "$here/calls"
unit=""
for argument; do unit=$argument; done
file="$here/units/$unit"
if [ -f "$file.on-$1" ]; then sh "$file.on-$1"; fi
case "$1" in
show)
    if [ ! -f "$file" ]; then
        if [ "$3" = LoadState ]; then echo not-found; else echo inactive; fi
    elif [ "$3" = LoadState ]; then echo loaded
    else cat "$file"
    fi ;;
start)
    [ -f "$file" ] || exit 5
    if [ -f "$file.start-fails" ]; then echo failed > "$file"; exit 1; fi
    echo active > "$file" ;;
stop)
    [ -f "$file" ] || exit 5
    if [ -f "$file.never-stops" ]; then echo deactivating > "$file"
    elif [ -f "$file.stops-slowly" ]; then
        echo deactivating > "$file"
        (sleep 2; echo inactive > "$file") > /dev/null 2>&1 &
    else echo inactive > "$file"
    fi ;;
poweroff) ;;
*) exit 1 ;;
esac
)";

}  // namespace

FakeSystemctl::FakeSystemctl() {
    const char* path = std::getenv("PATH");
    previous_path_ = path == nullptr ? "/usr/bin:/bin" : path;
    const std::string script = folder_.write("systemctl", kScript);
    ::chmod(script.c_str(), 0755);
    folder_.make_folder("units");
    folder_.write("calls", "");
    const std::string folder = folder_.path().substr(0, folder_.path().size() - 1);
    ::setenv("PATH", (folder + ":" + previous_path_).c_str(), 1);
    if (platform::find_program("systemctl") != script) {
        ::setenv("PATH", previous_path_.c_str(), 1);
        throw std::runtime_error("the fake systemctl is not first on PATH: refusing to run");
    }
}

FakeSystemctl::~FakeSystemctl() {
    ::setenv("PATH", previous_path_.c_str(), 1);
}

void FakeSystemctl::add(const std::string& name, const std::string& state, Behaviour behaviour) const {
    folder_.write("units/" + name, state + "\n");
    static constexpr std::string_view kMarkers[] = {"", ".stops-slowly", ".never-stops", ".start-fails"};
    if (behaviour != Behaviour::Normal) {
        folder_.write("units/" + name + std::string(kMarkers[static_cast<int>(behaviour)]), "");
    }
}

void FakeSystemctl::on(const std::string& call, const std::string& name, const std::string& commands) const {
    folder_.write("units/" + name + ".on-" + call, commands);
}

std::string FakeSystemctl::state(const std::string& name) const {
    const std::string content = read_file(folder_ / ("units/" + name));
    return content.substr(0, content.find('\n'));
}

std::vector<std::string> FakeSystemctl::calls(bool with_queries) const {
    std::vector<std::string> calls;
    const std::string content = read_file(folder_ / "calls");
    for (size_t start = 0, end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string call = content.substr(start, end - start);
        if (with_queries || !call.starts_with("show ")) {
            calls.push_back(std::move(call));
        }
    }
    return calls;
}

}  // namespace ferrolo::testing
