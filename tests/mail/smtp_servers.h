// tests/mail/smtp_servers.h — the servers the mail tests talk to on 127.0.0.1: aiosmtpd, a test CA for
// its certificate, and a scripted fake for the exchanges no real server can be made to show.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

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

// The message in `path` as Python's email package reads it: the "name: value" lines of read_message.py.
inline std::string read_by_python(const std::string& path) {
    const CommandResult peer = run_command(
        "/usr/bin/python3 " + shell_quote(kMailScripts + "/read_message.py") + " " + shell_quote(path));
    EXPECT_EQ(peer.exit_status, 0) << peer.output;
    return peer.output;
}

// A server script of this folder, given "--folder <folder>" and `arguments`, from the constructor to the
// destructor; it prints "PORT <port> PID <pid>" once it listens.
class TestServer {
public:
    TestServer(const std::string& script, const std::string& arguments) {
        const std::string command = "exec /usr/bin/python3 -W ignore " +
                                    shell_quote(kMailScripts + "/" + script) + " --folder " +
                                    shell_quote(folder.path()) + " " + arguments;
        output_ = ::popen((command + " 2>>" + shell_quote(folder / "server.err")).c_str(), "r");
        char line[64] = {};
        int listening = 0;
        if (output_ == nullptr || std::fgets(line, sizeof line, output_) == nullptr ||
            std::sscanf(line, "PORT %d PID %d", &listening, &pid_) != 2) {
            ADD_FAILURE() << "the server did not start: " << command;
        }
        port = static_cast<uint16_t>(listening);
    }
    ~TestServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
        }
        if (output_ != nullptr) {
            ::pclose(output_);
        }
    }
    // Waits for the server to end; what it printed after its first line.
    std::string rest_of_output() {
        std::string rest;
        for (char chunk[4096]; output_ != nullptr && std::fgets(chunk, sizeof chunk, output_) != nullptr;) {
            rest += chunk;
        }
        return rest;
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

// smtp_sink.py is aiosmtpd: message n lands in folder / "message-<n>.eml", its envelope in
// "message-<n>.envelope", every AUTH attempt in "auth.log".

// Replies by the start of the line they answer, before the defaults of fake_smtp.py.
using Replies = std::vector<std::pair<std::string, std::string>>;

// fake_smtp.py answering by `script`; its rest_of_output() is the command lines it received, joined by "|".
inline TestServer fake_smtp_server(const Replies& script) {
    std::string arguments;
    for (const auto& [start, reply] : script) {
        arguments += " --reply " + shell_quote(start) + " " + shell_quote(reply);
    }
    return TestServer("fake_smtp.py", arguments);
}

}  // namespace ferrolo::testing
