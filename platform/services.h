// platform/services.h — the system's service manager: what a backup needs to stop a service and start it
// again.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ferrolo::platform {

// A service's current state, numbered as the Windows service control manager numbers it.
enum class ServiceState : uint32_t {
    Unknown = 0,  // not known: the service could not be queried
    Stopped = 1,
    StartPending = 2,
    StopPending = 3,
    Running = 4,
    ContinuePending = 5,
    PausePending = 6,
    Paused = 7,
};

// A service the manager found, until it is released.
struct ServiceHandle {
    std::string name;
};

// The six operations. Each answers within the limit the manager was made with.
class ServiceManager {
public:
    virtual ~ServiceManager() = default;

    // Connects to the system's service manager; false when there is none to talk to.
    virtual bool open_manager() = 0;
    // Finds the service `name`; nothing when the manager is not open or does not know it.
    virtual std::optional<ServiceHandle> open_service(std::string_view name) = 0;
    // The service's current state; Unknown when it cannot be queried.
    virtual ServiceState query_state(const ServiceHandle& service) = 0;
    // Starts the service and waits for the start's outcome; false when the manager refused it, the start
    // failed or it outlived the limit.
    virtual bool start(const ServiceHandle& service) = 0;
    // Asks the service to stop and returns at once; the outcome shows in later queries.
    virtual void request_stop(const ServiceHandle& service) = 0;
    // Lets go of the service; false when that failed.
    virtual bool release(ServiceHandle& service) = 0;
};

// The manager of this system (systemd through the `systemctl` found on PATH on Linux, the service control
// manager on Windows); no call to it may take longer than `limit`.
std::unique_ptr<ServiceManager> system_service_manager(std::chrono::milliseconds limit);

}  // namespace ferrolo::platform
