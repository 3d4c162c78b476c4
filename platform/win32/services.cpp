#include "platform/services.h"

// Placeholder until the service control manager lands: there is no manager to talk to.
namespace ferrolo::platform {

namespace {

class NoServiceManager final : public ServiceManager {
public:
    bool open_manager() override { return false; }
    std::optional<ServiceHandle> open_service(std::string_view) override { return std::nullopt; }
    ServiceState query_state(const ServiceHandle&) override { return ServiceState::Unknown; }
    bool start(const ServiceHandle&) override { return false; }
    void request_stop(const ServiceHandle&) override {}
    bool release(ServiceHandle&) override { return false; }
};

}  // namespace

std::unique_ptr<ServiceManager> system_service_manager(std::chrono::milliseconds) {
    return std::make_unique<NoServiceManager>();
}

}  // namespace ferrolo::platform
