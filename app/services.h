// app/services.h — the services a job names: stopped before packing so their files hold still, started
// again after the mail.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "core/run_context.h"
#include "platform/services.h"

namespace ferrolo::app {

// Acts on one service at a time and reports every step to the run log and the trace; nothing here ends
// the run. A service that does not stop, or does not run after its start, sets Service_Error.
class ServiceControl {
public:
    // `wait_limit`: how long a stop or a start is waited for.
    ServiceControl(core::RunContext& run, platform::ServiceManager& manager,
                   std::chrono::milliseconds wait_limit)
        : run_(run), manager_(manager), wait_limit_(wait_limit) {}

    // Reports the state of `service_name` ("Servizio ...- Stato: ..."); true when it is running.
    bool StatoServizio(const std::string& service_name);
    // Stops the service if it is running and waits until it has stopped.
    void ArrestaServizio(const std::string& service_name);
    // Starts the service if it is not running and waits for the start's outcome.
    void AvviaServizio(const std::string& service_name);

private:
    void report_line(const std::string& text);
    platform::ServiceState wait_while(bool (*pending)(platform::ServiceState));
    bool release_service();

    core::RunContext& run_;
    platform::ServiceManager& manager_;
    const std::chrono::milliseconds wait_limit_;
    std::optional<platform::ServiceHandle> service_;  // opened by the last StatoServizio
};

}  // namespace ferrolo::app
