#include "app/services.h"

#include <array>
#include <thread>

namespace ferrolo::app {

namespace {

using platform::ServiceState;

// How often a service is asked whether it has stopped or started yet.
constexpr std::chrono::milliseconds kPollPeriod{250};

// The texts of the state codes 0 to 7; none for a state that is not known.
constexpr std::array<std::string_view, 8> kStateTexts = {"",
                                                         "arrestato",
                                                         "in fase di partenza",
                                                         "in fase di arresto",
                                                         "in esecuzione",
                                                         "in fase di continuazione",
                                                         "in fase di pausa",
                                                         "in pausa"};

std::string_view state_text(ServiceState state) {
    const auto code = static_cast<size_t>(state);
    return code < kStateTexts.size() ? kStateTexts[code] : "";
}

}  // namespace

bool ServiceControl::StatoServizio(const std::string& service_name) {
    service_.reset();
    if (manager_.open_manager()) {
        service_ = manager_.open_service(service_name);
    }
    const ServiceState state = service_ ? manager_.query_state(*service_) : ServiceState::Unknown;
    if (state == ServiceState::Unknown) {
        run_.log.Tracing_Out("Servizio non trovato: " + service_name);
    }
    const std::string text(state_text(state));
    run_.log.Tracing_Out("Servizio " + service_name + "- Stato: " + text);
    run_.log.Append_Log(true, true, "Servizio: " + service_name + "- Stato: " + text);
    return state == ServiceState::Running;
}

// The backup must not copy the files of a service that is still writing them, so the stop is waited for.
void ServiceControl::ArrestaServizio(const std::string& service_name) {
    report_line("Richiesta per servizio: " + service_name);
    if (StatoServizio(service_name)) {
        manager_.request_stop(*service_);
        if (wait_while([](ServiceState state) { return state != ServiceState::Stopped; }) !=
            ServiceState::Stopped) {
            report_line("Servizio non arrestato: " + service_name);
            run_.state.Service_Error = true;
        }
    }
    // Reports letting go of the service, not the outcome of the stop.
    report_line(release_service() ? "Chiusura servizio avvenuta." : "Errore durante chiusura servizio.");
}

void ServiceControl::AvviaServizio(const std::string& service_name) {
    if (!StatoServizio(service_name)) {
        const bool started =
            service_ && manager_.start(*service_) && wait_while([](ServiceState state) {
                                                         return state == ServiceState::StartPending;
                                                     }) == ServiceState::Running;
        report_line(started ? "Partenza servizio avvenuta." : "Partenza servizio non avvenuta.");
        run_.state.Service_Error |= !started;
    }
    release_service();
}

void ServiceControl::report_line(const std::string& text) {
    run_.log.Append_Log(true, true, text);
    run_.log.Tracing_Out(text);
}

// The window stays alive while the service is asked again and again, for at most the wait limit.
ServiceState ServiceControl::wait_while(bool (*pending)(ServiceState)) {
    const auto deadline = std::chrono::steady_clock::now() + wait_limit_;
    for (;;) {
        const ServiceState state = manager_.query_state(*service_);
        const auto now = std::chrono::steady_clock::now();
        if (!pending(state) || now >= deadline) {
            return state;
        }
        run_.display.process_messages();
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kPollPeriod, deadline - now));
    }
}

bool ServiceControl::release_service() {
    const bool released = service_ && manager_.release(*service_);
    service_.reset();
    return released;
}

}  // namespace ferrolo::app
