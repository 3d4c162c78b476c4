// mail/schannel_transport.cpp — the transport on Asio's TCP line and Windows' own TLS (Schannel). Schannel
// is told not to judge the certificate: the chain and the host name are checked here, with the system's
// trusted roots, so the check and its opt-out behave as on Linux.
#include "mail/tcp_line.h"  // Asio first: it includes winsock2.h before windows.h

#include <windows.h>

#include <wincrypt.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "mail/mail_error.h"
#include "mail/transport.h"

namespace ferrolo::mail {

namespace {

using Milliseconds = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

constexpr ULONG kContextRequests = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                   ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                   ISC_REQ_USE_SUPPLIED_CREDS;  // no client certificate is looked for

// Revocation is not asked for (nor is it by OpenSSL on Linux), so its status may be unknown.
constexpr DWORD kUncheckedRevocation =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

// "<system text> (0x<code>)" for a security status or a certificate error.
std::string describe(long code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result(text != nullptr ? text : "", length);
    LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == '.')) {
        result.pop_back();
    }
    char number[16];
    std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(code));
    return result.empty() ? number : result + " (" + number + ")";
}

std::wstring wide(const std::string& text) {
    const int size = static_cast<int>(text.size());
    std::wstring result(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0)),
                        L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, result.data(), static_cast<int>(result.size()));
    return result;
}

// A Schannel handle (credentials or a security context) and the call that frees it.
template <auto free_handle>
class SecurityHandle {
public:
    explicit SecurityHandle(const SecHandle& made) : handle(made) {}
    SecurityHandle(const SecurityHandle&) = delete;
    SecurityHandle& operator=(const SecurityHandle&) = delete;
    ~SecurityHandle() { free_handle(&handle); }

    SecHandle handle{};
};
using Credentials = SecurityHandle<FreeCredentialsHandle>;
using SecurityContext = SecurityHandle<DeleteSecurityContext>;

struct BufferRelease {
    void operator()(void* buffer) const { ::FreeContextBuffer(buffer); }
};
struct CertificateRelease {
    void operator()(const CERT_CONTEXT* certificate) const { CertFreeCertificateContext(certificate); }
};
struct ChainRelease {
    void operator()(const CERT_CHAIN_CONTEXT* chain) const { CertFreeCertificateChain(chain); }
};

class SchannelTransport final : public LineTransport {
public:
    void start_tls(const std::string& host, CertificateCheck check, Milliseconds limit) override;
    void write(std::string_view bytes, Milliseconds limit) override;
    std::string read_some(Milliseconds limit) override;
    void close() noexcept override;

    bool is_secure() const override { return is_open() && secure_; }

private:
    // Closes the connection and throws MailError: `what` failed with `status`.
    [[noreturn]] void fail(const std::string& what, long status);
    void acquire_credentials(const std::string& what);
    // Exchanges handshake messages until the session is established or fails.
    void handshake(const std::wstring& target, const std::string& what, SteadyClock::time_point deadline);
    // One call of the handshake on the server's bytes in `received_`; sends what it answers.
    SECURITY_STATUS handshake_step(const std::wstring& target, const std::string& what,
                                   SteadyClock::time_point deadline);
    // The chain must lead to a trusted root and the certificate must be a server's that names `target`.
    void verify_certificate(const std::wstring& target, const std::string& what);
    std::string encrypt(std::string_view bytes);
    // The plaintext of the complete records in `received_`, which keeps any incomplete rest.
    std::string decrypt_received();

    std::optional<Credentials> credentials_;
    std::optional<SecurityContext> context_;
    SecPkgContext_StreamSizes sizes_{};
    std::string received_;  // bytes from the server not yet taken by the handshake or decrypted
    bool secure_ = false;
};

void SchannelTransport::fail(const std::string& what, long status) {
    close();
    throw MailError(what + ": " + describe(status));
}

void SchannelTransport::start_tls(const std::string& host, CertificateCheck check, Milliseconds limit) {
    require_open();
    const auto deadline = SteadyClock::now() + limit;
    const std::string what = "TLS handshake with " + host;
    const std::wstring target = wide(host);
    try {
        acquire_credentials(what);
        handshake(target, what, deadline);
        if (check == CertificateCheck::Verify) {
            verify_certificate(target, what);
        }
    } catch (const MailError&) {
        close();
        throw;
    }
    const SECURITY_STATUS status =
        QueryContextAttributesW(&context_->handle, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (status != SEC_E_OK) {
        fail(what, status);
    }
    secure_ = true;
}

void SchannelTransport::acquire_credentials(const std::string& what) {
    SCHANNEL_CRED settings{};
    settings.dwVersion = SCHANNEL_CRED_VERSION;
    // TLS 1.2 alone: the structure every Schannel since Windows 7 takes cannot ask for 1.3.
    settings.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    SecHandle made{};
    const SECURITY_STATUS status =
        AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                  &settings, nullptr, nullptr, &made, nullptr);
    if (status != SEC_E_OK) {
        fail(what, status);
    }
    credentials_.emplace(made);
}

void SchannelTransport::handshake(const std::wstring& target, const std::string& what,
                                  SteadyClock::time_point deadline) {
    SECURITY_STATUS status = handshake_step(target, what, deadline);
    while (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_INCOMPLETE_MESSAGE) {
        // Bytes left over from the last step may hold the next message whole; otherwise wait for more.
        if (status == SEC_E_INCOMPLETE_MESSAGE || (status == SEC_I_CONTINUE_NEEDED && received_.empty())) {
            received_ += line_.read_some(line_.socket(), left_until(deadline), what);
        }
        status = handshake_step(target, what, deadline);
    }
    if (status != SEC_E_OK) {
        fail(what, status);
    }
}

SECURITY_STATUS SchannelTransport::handshake_step(const std::wstring& target, const std::string& what,
                                                  SteadyClock::time_point deadline) {
    SecBuffer input[2] = {{static_cast<ULONG>(received_.size()), SECBUFFER_TOKEN, received_.data()},
                          {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc input_description{SECBUFFER_VERSION, 2, input};
    SecBuffer output{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc output_description{SECBUFFER_VERSION, 1, &output};
    ULONG attributes = 0;
    const bool first = !context_;
    SecHandle made{};
    const SECURITY_STATUS status = InitializeSecurityContextW(
        &credentials_->handle, first ? nullptr : &context_->handle, const_cast<wchar_t*>(target.c_str()),
        kContextRequests, 0, 0, first ? nullptr : &input_description, 0, first ? &made : nullptr,
        &output_description, &attributes, nullptr);
    const std::unique_ptr<void, BufferRelease> token(output.pvBuffer);
    if (first && !FAILED(status)) {
        context_.emplace(made);
    }
    if (!first && status != SEC_E_INCOMPLETE_MESSAGE) {
        const size_t extra = input[1].BufferType == SECBUFFER_EXTRA ? input[1].cbBuffer : 0;
        received_.erase(0, received_.size() - extra);
    }
    if (!FAILED(status) && output.cbBuffer > 0) {
        line_.write(line_.socket(),
                    std::string_view(static_cast<const char*>(output.pvBuffer), output.cbBuffer),
                    left_until(deadline), what);
    }
    return status;
}

void SchannelTransport::verify_certificate(const std::wstring& target, const std::string& what) {
    const CERT_CONTEXT* received = nullptr;
    if (QueryContextAttributesW(&context_->handle, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &received) != SEC_E_OK ||
        received == nullptr) {
        throw MailError(what + ": the server sent no certificate");
    }
    const std::unique_ptr<const CERT_CONTEXT, CertificateRelease> certificate(received);

    char server_authentication[] = szOID_PKIX_KP_SERVER_AUTH;
    char* usages[] = {server_authentication};
    CERT_CHAIN_PARA chain_settings{};
    chain_settings.cbSize = sizeof chain_settings;
    chain_settings.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chain_settings.RequestedUsage.Usage.cUsageIdentifier = 1;
    chain_settings.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    const CERT_CHAIN_CONTEXT* built = nullptr;
    // The intermediate certificates the server sent are in the certificate's own store.
    if (!CertGetCertificateChain(nullptr, certificate.get(), nullptr, certificate->hCertStore,
                                 &chain_settings, 0, nullptr, &built)) {
        throw MailError(what + ": " + describe(static_cast<long>(GetLastError())));
    }
    const std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainRelease> chain(built);

    SSL_EXTRA_CERT_CHAIN_POLICY_PARA server{};
    server.cbSize = sizeof server;
    server.dwAuthType = AUTHTYPE_SERVER;
    server.pwszServerName = const_cast<wchar_t*>(target.c_str());
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &server;
    CERT_CHAIN_POLICY_STATUS verdict{};
    verdict.cbSize = sizeof verdict;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &verdict)) {
        throw MailError(what + ": " + describe(static_cast<long>(GetLastError())));
    }
    if (verdict.dwError != 0) {
        throw MailError(what +
                        ": certificate verify failed: " + describe(static_cast<long>(verdict.dwError)));
    }
    // Wine's policy passes a chain that stops short of any root; Windows' refuses it. Refuse it everywhere.
    if ((chain->TrustStatus.dwErrorStatus & ~kUncheckedRevocation) != CERT_TRUST_NO_ERROR) {
        char status[16];
        std::snprintf(status, sizeof status, "0x%08lX", chain->TrustStatus.dwErrorStatus);
        throw MailError(what + ": certificate verify failed: no chain to a trusted root (trust status " +
                        status + ")");
    }
}

void SchannelTransport::write(std::string_view bytes, Milliseconds limit) {
    require_open();
    if (secure_) {
        line_.write(line_.socket(), encrypt(bytes), limit);
    } else {
        line_.write(line_.socket(), bytes, limit);
    }
}

std::string SchannelTransport::encrypt(std::string_view bytes) {
    std::string records;
    while (!bytes.empty()) {
        const ULONG size = static_cast<ULONG>(std::min<size_t>(bytes.size(), sizes_.cbMaximumMessage));
        std::string record(sizes_.cbHeader + size + sizes_.cbTrailer, '\0');
        char* const header = record.data();
        std::memcpy(header + sizes_.cbHeader, bytes.data(), size);
        SecBuffer buffers[4] = {{sizes_.cbHeader, SECBUFFER_STREAM_HEADER, header},
                                {size, SECBUFFER_DATA, header + sizes_.cbHeader},
                                {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, header + sizes_.cbHeader + size},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = EncryptMessage(&context_->handle, 0, &description, 0);
        if (status != SEC_E_OK) {
            fail("sending", status);
        }
        // The trailer may come out shorter than its room.
        records.append(header, buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
        bytes.remove_prefix(size);
    }
    return records;
}

std::string SchannelTransport::read_some(Milliseconds limit) {
    require_open();
    if (!secure_) {
        return line_.read_some(line_.socket(), limit);
    }
    const auto deadline = SteadyClock::now() + limit;
    for (;;) {
        std::string plaintext = decrypt_received();
        if (!plaintext.empty()) {
            return plaintext;
        }
        received_ += line_.read_some(line_.socket(), left_until(deadline));
    }
}

std::string SchannelTransport::decrypt_received() {
    std::string plaintext;
    while (!received_.empty()) {
        SecBuffer buffers[4] = {{static_cast<ULONG>(received_.size()), SECBUFFER_DATA, received_.data()},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = DecryptMessage(&context_->handle, &description, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            break;
        }
        if (status == SEC_I_CONTEXT_EXPIRED) {
            close();
            throw MailError("receiving: connection closed by the server");
        }
        // A renegotiation is refused with the rest: a mail server has no reason to ask for one.
        if (status != SEC_E_OK) {
            fail("receiving", status);
        }
        size_t extra = 0;
        for (const SecBuffer& buffer : buffers) {
            if (buffer.BufferType == SECBUFFER_DATA) {
                plaintext.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
            } else if (buffer.BufferType == SECBUFFER_EXTRA) {
                extra = buffer.cbBuffer;
            }
        }
        // Decryption works in place; what follows the record is the rest of the buffer.
        received_.erase(0, received_.size() - extra);
    }
    return plaintext;
}

void SchannelTransport::close() noexcept {
    line_.close();
    context_.reset();
    credentials_.reset();
    received_.clear();
    secure_ = false;
}

}  // namespace

std::unique_ptr<Transport> make_transport() {
    return std::make_unique<SchannelTransport>();
}

}  // namespace ferrolo::mail
