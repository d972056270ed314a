#pragma once
// A small HTTP/1.1 server on 127.0.0.1 with an ephemeral port, for tests of the update check. It answers
// every request with the response set last, records the request lines, and stops with the object. It
// listens on the loopback address only, so no test ever reaches another host.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace vextest {

class LoopbackHttpServer {
public:
    struct Response {
        std::string body;
        int status = 200;
        int delayMs = 0;            // wait before answering (ended early when the server stops)
        bool contentLength = true;  // false: no length, the body ends when the connection closes
        bool held = false;          // answer only once release() was called (or the server stops)
    };

    LoopbackHttpServer() {
        // The requests go straight to the loopback address, whatever proxy the environment names.
        ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
        ::setenv("no_proxy", "127.0.0.1,localhost", 1);
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_listen < 0) throw std::runtime_error("socket");
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        socklen_t len = sizeof addr;
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(m_listen, 16) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            ::close(m_listen);
            throw std::runtime_error("bind/listen on 127.0.0.1");
        }
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~LoopbackHttpServer() {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    uint16_t port() const { return m_port; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(m_port); }

    void respond(Response response) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_response = std::move(response);
    }
    void respondJson(std::string body) { respond({std::move(body)}); }
    // Lets held responses go, from any thread.
    void release() { m_released = true; }

    std::vector<std::string> requestLines() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

    // A port on 127.0.0.1 where nothing listens (bound and closed again at once).
    static uint16_t closedPort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        ::close(fd);
        return ntohs(addr.sin_port);
    }

private:
    void run() {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            serve(fd);
            ::close(fd);
        }
    }

    void serve(int fd) {
        std::string request;
        char buf[4096];
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 && !m_stop &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return;
            request.append(buf, static_cast<size_t>(n));
        }
        Response response;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(request.substr(0, request.find("\r\n")));
            response = m_response;
        }
        for (int waited = 0; waited < response.delayMs && !m_stop; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        while (response.held && !m_released && !m_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::string head =
            "HTTP/1.1 " + std::to_string(response.status) + " X\r\nContent-Type: application/json\r\n";
        if (response.contentLength)
            head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        sendAll(fd, head);
        sendAll(fd, response.body);
    }

    void sendAll(int fd, const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size() && !m_stop) {
            const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;  // the client gave up
            sent += static_cast<size_t>(n);
        }
    }

    int m_listen = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_released{false};
    mutable std::mutex m_mutex;
    Response m_response;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

}  // namespace vextest
