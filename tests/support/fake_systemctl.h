// tests/support/fake_systemctl.h — a stand-in `systemctl`, first on PATH while it lives: service states are
// files in its folder and every call is recorded. Tests that touch services or the power-off use it, so no
// test ever reaches the real one.
#pragma once

#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace ferrolo::testing {

class FakeSystemctl {
public:
    // How a service behaves when asked to stop or start.
    enum class Behaviour { Normal, StopsSlowly, NeverStops, StartFails };

    // Throws, so the test cannot go on, unless `systemctl` on PATH is now this fake.
    FakeSystemctl();
    ~FakeSystemctl();
    FakeSystemctl(const FakeSystemctl&) = delete;
    FakeSystemctl& operator=(const FakeSystemctl&) = delete;

    // Adds the service `name` in `state` (systemd's ActiveState: "active", "inactive", ...).
    void add(const std::string& name, const std::string& state,
             Behaviour behaviour = Behaviour::Normal) const;
    // Shell commands the fake runs when `name` is asked to `call` ("stop", "start"), before it answers.
    void on(const std::string& call, const std::string& name, const std::string& commands) const;
    std::string state(const std::string& name) const;
    // Every call's arguments joined by blanks, in order; with `with_queries` false, the state queries left
    // out.
    std::vector<std::string> calls(bool with_queries = false) const;

private:
    TempFolder folder_;
    std::string previous_path_;
};

}  // namespace ferrolo::testing
