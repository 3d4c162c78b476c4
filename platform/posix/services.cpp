// systemd through `systemctl`: a service is a unit, its state is the unit's ActiveState.
#include <map>

#include "platform/posix/run_program.h"
#include "platform/services.h"

namespace ferrolo::platform {

namespace {

class SystemdServiceManager final : public ServiceManager {
public:
    explicit SystemdServiceManager(std::chrono::milliseconds limit) : limit_(limit) {}

    // The manager is the `systemctl` first on PATH, looked up afresh as Windows opens the manager afresh.
    bool open_manager() override {
        systemctl_ = find_program("systemctl");
        return systemctl_.has_value();
    }

    std::optional<ServiceHandle> open_service(std::string_view name) override {
        if (!systemctl_) {
            return std::nullopt;
        }
        const std::optional<std::string> load_state = property(name, "LoadState");
        if (!load_state || load_state->empty() || *load_state == "not-found") {
            return std::nullopt;
        }
        return ServiceHandle{std::string(name)};
    }

    ServiceState query_state(const ServiceHandle& service) override {
        // Activating and deactivating are the pending states; a reload keeps the service running.
        static const std::map<std::string, ServiceState, std::less<>> kStates = {
            {"active", ServiceState::Running},          {"reloading", ServiceState::Running},
            {"inactive", ServiceState::Stopped},        {"failed", ServiceState::Stopped},
            {"activating", ServiceState::StartPending}, {"deactivating", ServiceState::StopPending},
        };
        const std::optional<std::string> active_state = property(service.name, "ActiveState");
        const auto found = active_state ? kStates.find(*active_state) : kStates.end();
        return found == kStates.end() ? ServiceState::Unknown : found->second;
    }

    bool start(const ServiceHandle& service) override {
        return systemctl({"start", "--", service.name}).exit_status == 0;
    }

    void request_stop(const ServiceHandle& service) override {
        systemctl({"stop", "--no-block", "--", service.name});
    }

    // A unit name holds nothing open.
    bool release(ServiceHandle&) override { return true; }

private:
    ProgramOutcome systemctl(const std::vector<std::string>& arguments) const {
        return systemctl_ ? run_program(*systemctl_, arguments, limit_) : ProgramOutcome{};
    }

    // The unit's property `key`, its trailing line end removed; nothing when systemctl failed.
    std::optional<std::string> property(std::string_view name, const std::string& key) const {
        ProgramOutcome outcome = systemctl({"show", "-p", key, "--value", "--", std::string(name)});
        if (outcome.exit_status != 0) {
            return std::nullopt;
        }
        while (!outcome.output.empty() && (outcome.output.back() == '\n' || outcome.output.back() == '\r')) {
            outcome.output.pop_back();
        }
        return outcome.output;
    }

    const std::chrono::milliseconds limit_;
    std::optional<std::string> systemctl_;
};

}  // namespace

std::unique_ptr<ServiceManager> system_service_manager(std::chrono::milliseconds limit) {
    return std::make_unique<SystemdServiceManager>(limit);
}

}  // namespace ferrolo::platform
