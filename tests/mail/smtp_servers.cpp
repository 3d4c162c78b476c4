#include "tests/mail/smtp_servers.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/command.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::testing {

namespace {

const std::string kScripts = FERROLO_MAIL_TEST_SCRIPTS;

void run_or_fail(const std::string& command) {
    const CommandResult result = run_command(command);
    ASSERT_EQ(result.exit_status, 0) << command << "\n" << result.output;
}

void send_all(int connection, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
}

}  // namespace

TestCertificates make_test_certificates(const std::string& folder, const std::string& names) {
    const TestCertificates files{folder + "ca.pem", folder + "server.pem", folder + "server.key"};
    const std::string ca_key = shell_quote(folder + "ca.key");
    const std::string request = shell_quote(folder + "server.csr");
    const std::string extensions = folder + "server.ext";
    write_file(extensions,
               "subjectAltName=" + names + "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
    run_or_fail(
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj "
        "'/CN=Ferrolo test CA' -keyout " +
        ca_key + " -out " + shell_quote(files.ca));
    run_or_fail(
        "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj '/CN=server' -keyout " +
        shell_quote(files.key) + " -out " + request);
    run_or_fail("openssl x509 -req -days 2 -in " + request + " -CA " + shell_quote(files.ca) + " -CAkey " +
                ca_key + " -CAcreateserial -extfile " + shell_quote(extensions) + " -out " +
                shell_quote(files.certificate));
    return files;
}

TrustedCa::TrustedCa(const std::string& ca_file) {
    if (const char* previous = std::getenv("SSL_CERT_FILE")) {
        previous_ = previous;
    }
    ::setenv("SSL_CERT_FILE", ca_file.c_str(), 1);
}

TrustedCa::~TrustedCa() {
    if (previous_) {
        ::setenv("SSL_CERT_FILE", previous_->c_str(), 1);
    } else {
        ::unsetenv("SSL_CERT_FILE");
    }
}

SmtpSink::SmtpSink(const std::string& folder, const Options& options) : folder_(folder) {
    std::string command = "exec /usr/bin/python3 -W ignore " + shell_quote(kScripts + "/smtp_sink.py") +
                          " --folder " + shell_quote(folder) + " --tls " + options.tls;
    if (!options.user.empty()) {
        command += " --user " + shell_quote(options.user) + " --password " + shell_quote(options.password);
    }
    if (options.without_login) {
        command += " --without-login";
    }
    if (options.certificates) {
        command += " --certificate " + shell_quote(options.certificates->certificate) + " --key " +
                   shell_quote(options.certificates->key);
    }
    output_ = ::popen((command + " 2>>" + shell_quote(folder + "smtp_sink.err")).c_str(), "r");
    char line[128] = {};
    int port = 0;
    if (output_ == nullptr || std::fgets(line, sizeof line, output_) == nullptr ||
        std::sscanf(line, "PORT %d PID %d", &port, &pid_) != 2) {
        ADD_FAILURE() << "aiosmtpd did not start: " << command;
        return;
    }
    port_ = static_cast<uint16_t>(port);
}

SmtpSink::~SmtpSink() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
    }
    if (output_ != nullptr) {
        ::pclose(output_);
    }
}

std::string SmtpSink::message(int number) const {
    const std::string path = folder_ + "message-" + std::to_string(number) + ".eml";
    return ::access(path.c_str(), F_OK) == 0 ? read_file(path) : "";
}

std::vector<std::string> SmtpSink::envelope(int number) const {
    const std::string path = folder_ + "message-" + std::to_string(number) + ".envelope";
    std::vector<std::string> addresses;
    if (::access(path.c_str(), F_OK) != 0) {
        return addresses;
    }
    const std::string text = read_file(path);
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        addresses.push_back(text.substr(start, end - start));
    }
    return addresses;
}

std::string SmtpSink::auth_log() const {
    const std::string path = folder_ + "auth.log";
    return ::access(path.c_str(), F_OK) == 0 ? read_file(path) : "";
}

std::map<std::string, std::string> parsed_message(const std::string& raw_message, const std::string& folder) {
    const std::string path = folder + "parsed.eml";
    write_file(path, raw_message);
    const CommandResult result = run_command(
        "/usr/bin/python3 " + shell_quote(kScripts + "/read_message.py") + " " + shell_quote(path));
    EXPECT_EQ(result.exit_status, 0) << result.output;
    std::map<std::string, std::string> fields;
    for (size_t start = 0, end; (end = result.output.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string line = result.output.substr(start, end - start);
        const size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            std::string& field = fields[line.substr(0, colon)];
            field += (field.empty() ? "" : "\n") + line.substr(colon + 2);
        }
    }
    return fields;
}

FakeSmtpServer::FakeSmtpServer(Script script) : script_(std::move(script)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ADD_FAILURE() << "the fake server cannot listen";
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 20000) == 1 && (waiting.revents & POLLIN) != 0) {
            const int connection = ::accept(listener_, nullptr, nullptr);
            if (connection >= 0) {
                serve(connection);
                ::close(connection);
            }
        }
    });
}

FakeSmtpServer::~FakeSmtpServer() {
    ::shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) {
        thread_.join();
    }
    ::close(listener_);
}

std::vector<std::string> FakeSmtpServer::commands() {
    if (thread_.joinable()) {
        thread_.join();
    }
    return commands_;
}

std::string FakeSmtpServer::data() {
    commands();
    return data_;
}

void FakeSmtpServer::serve(int connection) {
    send_all(connection, script_.greeting);
    std::string received;
    bool in_data = false;
    for (char chunk[4096];;) {
        for (size_t end; (end = received.find("\r\n")) != std::string::npos;) {
            const std::string line = received.substr(0, end);
            received.erase(0, end + 2);
            std::string reply;
            if (in_data && line != ".") {
                data_ += line + "\r\n";
                if (script_.close_in_data && data_.size() >= *script_.close_in_data) {
                    return;
                }
                continue;
            }
            if (in_data) {
                in_data = false;
                reply = answer("<end of data>");
            } else {
                commands_.push_back(line);
                reply = answer(line);
            }
            if (reply == "<close>") {
                return;
            }
            if (reply != "<silence>") {
                send_all(connection, reply);
            }
            in_data = in_data || reply.starts_with("354");
        }
        const ssize_t count = ::recv(connection, chunk, sizeof chunk, 0);
        if (count <= 0) {
            return;
        }
        received.append(chunk, static_cast<size_t>(count));
    }
}

std::string FakeSmtpServer::answer(const std::string& line) {
    for (const auto& [prefix, reply] : script_.replies) {
        if (line.starts_with(prefix)) {
            return reply;
        }
    }
    if (auth_steps_ > 0) {
        return --auth_steps_ == 1 ? "334 UGFzc3dvcmQ6\r\n" : "235 2.7.0 accepted\r\n";
    }
    const std::string verb = line.substr(0, 4);
    if (line == "AUTH LOGIN") {
        auth_steps_ = 2;
        return "334 VXNlcm5hbWU6\r\n";
    }
    const std::map<std::string, std::string> replies = {
        {"EHLO", script_.ehlo},       {"HELO", "250 fake.test\r\n"}, {"AUTH", "235 2.7.0 accepted\r\n"},
        {"DATA", "354 go ahead\r\n"}, {"QUIT", "221 bye\r\n"},       {"<end", "250 kept\r\n"},
    };
    const auto found = replies.find(verb);
    return found == replies.end() ? "250 ok\r\n" : found->second;
}

}  // namespace ferrolo::testing
