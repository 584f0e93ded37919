#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for the lookup tests: one thread,
// one connection at a time, answers made by a handler. Every wait it is told
// to make ends early when the client hangs up or the server stops, so no test
// waits for a stalled answer to run out.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

struct TestRequest {
    std::string target;                          // path and query as sent
    std::map<std::string, std::string> headers;  // names in lower case
};

struct TestResponse {
    int status = 200;
    std::string body;
    std::vector<std::string> headers;  // extra header lines
    int delayMs = 0;                   // before anything is sent
    int stallAfterMs = -1;             // sends this much of the body, then waits
    std::size_t stallAfterBytes = 0;
    int trickleMs = 0;      // sends the body a byte at a time with this pause
    int trickleHeadMs = 0;  // sends the status line and headers a byte at a time
    std::string raw;        // when set, sent as it is instead of an HTTP reply
};

class TestHttpServer {
public:
    using Handler = std::function<TestResponse(const TestRequest&)>;

    explicit TestHttpServer(Handler handler) : handler_(std::move(handler)) {
        listen_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (listen_ < 0 || bind(listen_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            listen(listen_, 8) != 0 ||
            getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || pipe(wake_) != 0)
            throw std::runtime_error("test server: no socket");
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }

    ~TestHttpServer() {
        (void)!write(wake_[1], "x", 1);
        thread_.join();
        close(listen_);
        close(wake_[0]);
        close(wake_[1]);
    }

    int Port() const { return port_; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::vector<TestRequest> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    Handler handler_;
    int listen_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<TestRequest> requests_;

    // Waits ms milliseconds; false when the server stops or the client went away.
    bool Wait(int ms, int client) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return true;
            pollfd fds[2] = {{wake_[0], POLLIN, 0}, {client, POLLIN, 0}};
            if (poll(fds, 2, static_cast<int>(left.count())) > 0) {
                if (fds[0].revents) return false;
                char c;
                if (fds[1].revents && recv(client, &c, 1, MSG_PEEK | MSG_DONTWAIT) <= 0)
                    return false;
            }
        }
    }

    bool Send(int client, const char* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = send(client, data, size, MSG_NOSIGNAL);
            if (n <= 0) return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    bool ReadRequest(int client, TestRequest& request) {
        std::string raw;
        char buffer[4096];
        while (raw.find("\r\n\r\n") == std::string::npos && raw.size() < 65536) {
            pollfd fds[2] = {{wake_[0], POLLIN, 0}, {client, POLLIN, 0}};
            if (poll(fds, 2, 3000) <= 0 || fds[0].revents) return false;
            const ssize_t n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) return false;
            raw.append(buffer, static_cast<std::size_t>(n));
        }
        const std::size_t lineEnd = raw.find("\r\n");
        const std::size_t sp1 = raw.find(' ');
        const std::size_t sp2 = raw.find(' ', sp1 + 1);
        if (lineEnd == std::string::npos || sp2 > lineEnd) return false;
        request.target = raw.substr(sp1 + 1, sp2 - sp1 - 1);
        for (std::size_t at = lineEnd + 2; at < raw.size();) {
            const std::size_t end = raw.find("\r\n", at);
            const std::size_t colon = raw.find(':', at);
            if (end == std::string::npos || end == at) break;
            if (colon < end) {
                std::string name = raw.substr(at, colon - at);
                for (char& c : name) c = static_cast<char>(std::tolower(c));
                request.headers[name] = raw.substr(raw.find_first_not_of(' ', colon + 1),
                                                   end - raw.find_first_not_of(' ', colon + 1));
            }
            at = end + 2;
        }
        return true;
    }

    void Answer(int client) {
        TestRequest request;
        if (!ReadRequest(client, request)) return;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        const TestResponse r = handler_(request);
        if (r.delayMs > 0 && !Wait(r.delayMs, client)) return;
        if (!r.raw.empty()) {
            Send(client, r.raw.data(), r.raw.size());
            return;
        }
        std::string head = "HTTP/1.1 " + std::to_string(r.status) + " X\r\nConnection: close\r\n";
        bool hasLength = false;
        for (const auto& h : r.headers) {
            head += h + "\r\n";
            hasLength = hasLength || h.starts_with("Content-Length:");
        }
        if (!hasLength) head += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
        head += "\r\n";
        if (r.trickleHeadMs > 0) {
            for (const char c : head)
                if (!Send(client, &c, 1) || !Wait(r.trickleHeadMs, client)) return;
        } else if (!Send(client, head.data(), head.size())) {
            return;
        }
        if (r.stallAfterMs >= 0) {
            if (!Send(client, r.body.data(), r.stallAfterBytes) || !Wait(r.stallAfterMs, client))
                return;
            Send(client, r.body.data() + r.stallAfterBytes, r.body.size() - r.stallAfterBytes);
        } else if (r.trickleMs > 0) {
            for (const char c : r.body)
                if (!Send(client, &c, 1) || !Wait(r.trickleMs, client)) return;
        } else {
            Send(client, r.body.data(), r.body.size());
        }
    }

    void Serve() {
        for (;;) {
            pollfd fds[2] = {{wake_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 || fds[0].revents) return;
            const int client = accept(listen_, nullptr, nullptr);
            if (client < 0) continue;
            Answer(client);
            shutdown(client, SHUT_WR);
            close(client);
        }
    }
};
