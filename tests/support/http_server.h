#pragma once
// A small real HTTP server on 127.0.0.1 for download tests: it answers every
// request the way `mode` says and records the request lines.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class HttpServer {
public:
    enum class Mode { File, Html, NotFound, Hang, Huge, Redirect };
    std::atomic<Mode> mode{Mode::File};
    std::string body; // what Mode::File serves

    HttpServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        ::listen(fd_, 8);
        thread_ = std::thread([this] { serve(); });
    }
    ~HttpServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> requests() {
        std::lock_guard<std::mutex> l(m_);
        return requests_;
    }

private:
    void serve() {
        while (!stop_) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            std::string req;
            char buf[4096];
            while (req.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                req.append(buf, static_cast<std::size_t>(n));
            }
            {
                std::lock_guard<std::mutex> l(m_);
                requests_.push_back(req.substr(0, req.find("\r\n")));
            }
            const bool redirected = req.rfind("GET /moved", 0) == 0;
            respond(c, redirected ? Mode::File : mode.load());
            ::close(c);
        }
    }
    void send(int c, const std::string& s) { ::send(c, s.data(), s.size(), MSG_NOSIGNAL); }
    void respond(int c, Mode m) {
        switch (m) {
        case Mode::File:
            send(c, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            break;
        case Mode::Html: {
            const std::string page = "<html><body>No data available for this position</body></html>";
            send(c, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) +
                        "\r\nConnection: close\r\n\r\n" + page);
            break;
        }
        case Mode::NotFound: send(c, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"); break;
        case Mode::Hang:
            send(c, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nSIMPLE  =");
            for (int i = 0; i < 100 && !stop_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            break;
        case Mode::Huge: {
            send(c, "HTTP/1.1 200 OK\r\nContent-Length: 50000000\r\n\r\n");
            const std::string chunk(1 << 16, 'x');
            for (int i = 0; i < 800; ++i)
                if (::send(c, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0) break;
            break;
        }
        case Mode::Redirect:
            send(c, "HTTP/1.1 302 Found\r\nLocation: /moved\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            break;
        }
    }
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex m_;
    std::vector<std::string> requests_;
};

} // namespace testsupport
