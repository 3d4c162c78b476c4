// Placeholder until the Schannel transport lands: every connection fails.
#include "mail/mail_error.h"
#include "mail/transport.h"

namespace ferrolo::mail {

namespace {

class NoTransport final : public Transport {
public:
    void connect(const std::string&, uint16_t, std::chrono::milliseconds) override {
        throw MailError("no network transport in this build");
    }
    void start_tls(const std::string&, CertificateCheck, std::chrono::milliseconds) override {
        throw MailError("no network transport in this build");
    }
    void write(std::string_view, std::chrono::milliseconds) override {
        throw MailError("no network transport in this build");
    }
    std::string read_some(std::chrono::milliseconds) override {
        throw MailError("no network transport in this build");
    }
    void close() noexcept override {}
    bool is_open() const override { return false; }
    bool is_secure() const override { return false; }
    std::string local_host_name() const override { return "localhost"; }
};

}  // namespace

std::unique_ptr<Transport> make_transport() {
    return std::make_unique<NoTransport>();
}

}  // namespace ferrolo::mail
