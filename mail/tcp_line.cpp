#include "mail/tcp_line.h"

#include <algorithm>

#include "mail/mail_error.h"

namespace ferrolo::mail {

namespace {

using Milliseconds = std::chrono::milliseconds;

constexpr Milliseconds kSlice{100};

}  // namespace

void TcpLine::connect(const std::string& host, uint16_t port, Milliseconds limit) {
    close();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    resolver_.emplace(io_);
    std::optional<std::error_code> outcome;
    asio::ip::tcp::resolver::results_type endpoints;
    resolver_->async_resolve(host, std::to_string(port),
                             [&](const std::error_code& error, asio::ip::tcp::resolver::results_type found) {
                                 outcome = error;
                                 endpoints = std::move(found);
                             });
    await(outcome, limit, "resolving " + host);
    resolver_.reset();
    outcome.reset();
    asio::async_connect(
        socket_, endpoints,
        [&](const std::error_code& error, const asio::ip::tcp::endpoint&) { outcome = error; });
    await(outcome, left_until(deadline), "connecting to " + host);
}

void TcpLine::await(const std::optional<std::error_code>& outcome, Milliseconds limit,
                    std::string_view what) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    io_.restart();
    while (!outcome) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            // Closing cancels the operation; its handler must run before its captures go.
            close();
            throw MailError(std::string(what) + ": no answer within " + std::to_string(limit.count() / 1000) +
                            " s");
        }
        io_.run_for(std::min<std::chrono::steady_clock::duration>(kSlice, deadline - now));
        if (!outcome && while_waiting_) {
            while_waiting_();
        }
    }
    if (*outcome) {
        const std::string reason =
            *outcome == asio::error::eof ? "connection closed by the server" : outcome->message();
        close();
        throw MailError(std::string(what) + ": " + reason);
    }
}

void TcpLine::close() noexcept {
    if (resolver_) {
        resolver_->cancel();
    }
    std::error_code ignored;
    socket_.close(ignored);
    io_.restart();
    io_.run();
    resolver_.reset();
}

std::string TcpLine::local_host_name() {
    std::error_code error;
    std::string name = asio::ip::host_name(error);
    return error ? std::string() : name;
}

}  // namespace ferrolo::mail
