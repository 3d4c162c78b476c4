// tests/mail/smtp_servers.h — the servers the mail tests talk to on 127.0.0.1: aiosmtpd, a test CA for
// its certificate, and a scripted fake for the exchanges no real server can be made to show.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <thread>

#include "tests/support/command.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::testing {

inline const std::string kMailScripts = FERROLO_MAIL_TEST_SCRIPTS;

// Makes a CA and a server certificate for `names` (openssl's subjectAltName form) in `folder` (ca.pem,
// server.pem, server.key), and has OpenSSL trust that CA from now on.
inline void trust_test_ca(const std::string& folder,
                          const std::string& names = "DNS:localhost,IP:127.0.0.1") {
    write_file(folder + "server.ext",
               "subjectAltName=" + names + "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    const CommandResult made = run_command(
        "(cd " + shell_quote(folder) + " && openssl req -x509" + key +
        "-days 2 -subj /CN=FerroloTestCA -keyout ca.key -out ca.pem && openssl req" + key +
        "-subj /CN=server -keyout server.key -out server.csr && openssl x509 -req -days 2 -in server.csr "
        "-CA ca.pem -CAkey ca.key -CAcreateserial -extfile server.ext -out server.pem)");
    ASSERT_EQ(made.exit_status, 0) << made.output;
    ::setenv("SSL_CERT_FILE", (folder + "ca.pem").c_str(), 1);
}

// The message in `path` as Python's email package reads it (see read_message.py), by field name.
inline std::map<std::string, std::string> read_by_python(const std::string& path) {
    const CommandResult peer = run_command(
        "/usr/bin/python3 " + shell_quote(kMailScripts + "/read_message.py") + " " + shell_quote(path));
    EXPECT_EQ(peer.exit_status, 0) << peer.output;
    std::map<std::string, std::string> fields;
    std::istringstream lines(peer.output);
    for (std::string line; std::getline(lines, line);) {
        fields[line.substr(0, line.find(": "))] = line.substr(line.find(": ") + 2);
    }
    return fields;
}

// aiosmtpd (smtp_sink.py, given `arguments`) from the constructor to the destructor. Message n lands in
// folder / "message-<n>.eml", its envelope in "message-<n>.envelope", every AUTH attempt in "auth.log".
class SmtpSink {
public:
    explicit SmtpSink(const std::string& arguments = "") {
        const std::string command = "exec /usr/bin/python3 -W ignore " +
                                    shell_quote(kMailScripts + "/smtp_sink.py") + " --folder " +
                                    shell_quote(folder.path()) + " " + arguments;
        output_ = ::popen((command + " 2>>" + shell_quote(folder / "sink.err")).c_str(), "r");
        char line[64] = {};
        int listening = 0;
        if (output_ == nullptr || std::fgets(line, sizeof line, output_) == nullptr ||
            std::sscanf(line, "PORT %d PID %d", &listening, &pid_) != 2) {
            ADD_FAILURE() << "aiosmtpd did not start: " << command;
        }
        port = static_cast<uint16_t>(listening);
    }
    ~SmtpSink() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
        }
        if (output_ != nullptr) {
            ::pclose(output_);
        }
    }
    // The file `name` of the folder; empty when there is none.
    std::string file(const std::string& name) const {
        return ::access((folder / name).c_str(), F_OK) == 0 ? read_file(folder / name) : "";
    }

    TempFolder folder;
    uint16_t port = 0;

private:
    FILE* output_ = nullptr;
    int pid_ = 0;
};

// Replies by the beginning of the line they answer. "<greeting>" is the line before any, "<data>" any
// line of message data; "<silence>" answers nothing, "<close>" closes the connection.
using Replies = std::vector<std::pair<std::string, std::string>>;

// A server that answers by `script`, then by its own defaults, and records the command lines it was sent.
// It serves one connection and ends when the client closes it.
class FakeSmtpServer {
public:
    explicit FakeSmtpServer(Replies script) : script_(std::move(script)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* name = reinterpret_cast<sockaddr*>(&address);
        if (::bind(listener_, name, length) != 0 || ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, name, &length) != 0) {
            ADD_FAILURE() << "the fake server cannot listen";
        }
        port = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            const int connection =
                ::accept(listener_, nullptr, nullptr);  // the destructor's shutdown ends it
            const timeval limit{10, 0};
            ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            serve(connection);
            ::close(connection);
        });
    }
    ~FakeSmtpServer() {
        ::shutdown(listener_, SHUT_RDWR);
        transcript();
        ::close(listener_);
    }
    // Waits for the connection to end; the command lines received, joined by "|", with only the verb of
    // EHLO and HELO (the computer's name follows it) and "." for a whole message.
    std::string transcript() {
        if (thread_.joinable()) {
            thread_.join();
        }
        return transcript_;
    }

    uint16_t port = 0;

private:
    void serve(int connection) {
        say(connection, answer("<greeting>"));
        std::string received;
        bool in_data = false;
        char chunk[4096];
        for (ssize_t count; (count = ::recv(connection, chunk, sizeof chunk, 0)) > 0;) {
            received.append(chunk, static_cast<size_t>(count));
            for (size_t end; (end = received.find("\r\n")) != std::string::npos; received.erase(0, end + 2)) {
                const std::string text = received.substr(0, end);
                const std::string line = in_data && text != "." ? "<data>" : text;
                const std::string reply = answer(line);
                if (reply == "<close>") {
                    return;
                }
                if (line != "<data>") {
                    const bool greeting = line.starts_with("EHLO") || line.starts_with("HELO");
                    transcript_ += (transcript_.empty() ? "" : "|") + (greeting ? line.substr(0, 4) : line);
                    previous_ = reply;
                    in_data = reply.starts_with("354");
                }
                say(connection, reply);
            }
        }
    }
    std::string answer(const std::string& line) const {
        const Replies defaults = {{"<greeting>", "220 fake ESMTP\r\n"},
                                  {"EHLO", "250-fake.test\r\n250 HELP\r\n"},
                                  {"HELO", "250 fake.test\r\n"},
                                  {"AUTH", "334 VXNlcm5hbWU6\r\n"},
                                  {"DATA", "354 go ahead\r\n"},
                                  {"QUIT", "221 bye\r\n"},
                                  {"<data>", "<silence>"}};
        for (const Replies* replies : {&script_, &defaults}) {
            for (const auto& [start, reply] : *replies) {
                if (line.starts_with(start)) {
                    return reply;
                }
            }
        }
        // After AUTH LOGIN's question for the user name comes the one for the password; any is taken.
        return previous_.starts_with("334 VXNl") ? "334 UGFzc3dvcmQ6\r\n"
               : previous_.starts_with("334")    ? "235 2.7.0 accepted\r\n"
                                                 : "250 ok\r\n";
    }
    static void say(int connection, std::string_view reply) {
        for (ssize_t sent; reply != "<silence>" && !reply.empty();
             reply.remove_prefix(static_cast<size_t>(sent))) {
            if ((sent = ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL)) <= 0) {
                return;
            }
        }
    }

    Replies script_;
    int listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    std::thread thread_;
    std::string transcript_;
    std::string previous_;  // the last reply to a command
};

}  // namespace ferrolo::testing
