// The Windows service control manager. The manager and each service found are kept open as handles until
// they are released or the manager is dropped.
#include "platform/services.h"

#include <windows.h>

#include <map>
#include <thread>

#include "platform/win32/wide.h"

namespace ferrolo::platform {

namespace {

struct CloseServiceHandleOnExit {
    void operator()(SC_HANDLE handle) const { ::CloseServiceHandle(handle); }
};
using ScHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, CloseServiceHandleOnExit>;

// The rights the six operations use, no more, so an account allowed to query, stop and start a service
// (but not to reconfigure or delete it) can run the job.
constexpr DWORD kServiceRights = SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP;

// How often a service that is stopping or starting is asked again.
constexpr std::chrono::milliseconds kPollPeriod{100};

class WindowsServiceManager final : public ServiceManager {
public:
    explicit WindowsServiceManager(std::chrono::milliseconds limit) : limit_(limit) {}

    bool open_manager() override {
        manager_.reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        return manager_ != nullptr;
    }

    std::optional<ServiceHandle> open_service(std::string_view name) override {
        if (!manager_) {
            return std::nullopt;
        }
        ScHandle service(::OpenServiceW(manager_.get(), win32::to_wide(name).c_str(), kServiceRights));
        if (!service) {
            return std::nullopt;
        }
        services_.insert_or_assign(std::string(name), std::move(service));
        return ServiceHandle{std::string(name)};
    }

    ServiceState query_state(const ServiceHandle& service) override {
        const SC_HANDLE handle = native(service);
        SERVICE_STATUS status{};
        if (handle == nullptr || !::QueryServiceStatus(handle, &status) ||
            status.dwCurrentState > static_cast<DWORD>(ServiceState::Paused)) {
            return ServiceState::Unknown;
        }
        return static_cast<ServiceState>(status.dwCurrentState);
    }

    // A service still stopping cannot be started yet: its stop is waited for first, as systemd queues a
    // start behind a running stop. Then the start is waited for until the service runs or gives up.
    bool start(const ServiceHandle& service) override {
        const SC_HANDLE handle = native(service);
        if (handle == nullptr) {
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + limit_;
        wait_while(service, ServiceState::StopPending, deadline);
        if (!::StartServiceW(handle, 0, nullptr) && ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
            return false;
        }
        return wait_while(service, ServiceState::StartPending, deadline) == ServiceState::Running;
    }

    void request_stop(const ServiceHandle& service) override {
        SERVICE_STATUS status{};
        if (const SC_HANDLE handle = native(service)) {
            ::ControlService(handle, SERVICE_CONTROL_STOP, &status);
        }
    }

    bool release(ServiceHandle& service) override {
        const auto found = services_.find(service.name);
        if (found == services_.end()) {
            return false;
        }
        const bool closed = ::CloseServiceHandle(found->second.release());
        services_.erase(found);
        return closed;
    }

private:
    // The service's state once it is no longer `pending`, or at the deadline.
    ServiceState wait_while(const ServiceHandle& service, ServiceState pending,
                            std::chrono::steady_clock::time_point deadline) {
        ServiceState state = query_state(service);
        while (state == pending && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(kPollPeriod);
            state = query_state(service);
        }
        return state;
    }

    SC_HANDLE native(const ServiceHandle& service) const {
        const auto found = services_.find(service.name);
        return found == services_.end() ? nullptr : found->second.get();
    }

    const std::chrono::milliseconds limit_;
    ScHandle manager_;
    std::map<std::string, ScHandle, std::less<>> services_;
};

}  // namespace

std::unique_ptr<ServiceManager> system_service_manager(std::chrono::milliseconds limit) {
    return std::make_unique<WindowsServiceManager>(limit);
}

}  // namespace ferrolo::platform
