// A small HTTP/1.1 server on 127.0.0.1 for the feed tests: one thread, one connection at a
// time, replies chosen by request path. It can answer normally, send a body without a
// length in chunks, or accept a connection and never answer.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qvtest {

struct HttpReply {
    int status = 200;
    std::string body;
    std::vector<std::string> headers;  // extra header lines, without CR LF
    bool chunked = false;              // no Content-Length: the body goes in chunks
    bool silent = false;               // accept the request and never answer
};

inline HttpReply Reply(int status, std::string body, std::vector<std::string> headers = {}) {
    HttpReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.headers = std::move(headers);
    return reply;
}

inline HttpReply ChunkedReply(std::string body) {
    HttpReply reply = Reply(200, std::move(body));
    reply.chunked = true;
    return reply;
}

inline HttpReply SilentReply() {
    HttpReply reply;
    reply.silent = true;
    return reply;
}

struct HttpRequest {
    std::string path;
    std::string userAgent;
};

class LocalHttpServer {
public:
    LocalHttpServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 8);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Run(); });
    }

    ~LocalHttpServer() {
        stop_ = true;
        thread_.join();
        for (int fd : held_) ::close(fd);
        ::close(listener_);
    }

    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    void Serve(const std::string& path, HttpReply reply) {
        std::lock_guard lock(mutex_);
        replies_[path] = std::move(reply);
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    std::vector<HttpRequest> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    // An address on which nothing listens: a port just taken and given back.
    static std::string ClosedPortUrl() {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);
        return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/feed.xml";
    }

private:
    void Run() {
        while (!stop_) {
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 20) <= 0) continue;
            int connection = ::accept(listener_, nullptr, nullptr);
            if (connection < 0) continue;
            Handle(connection);
        }
    }

    // Reads the request head; empty when the client gives up first.
    std::string ReadHead(int connection) {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 && !stop_) {
            pollfd waiting{connection, POLLIN, 0};
            if (::poll(&waiting, 1, 20) <= 0) continue;
            ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
            if (n <= 0) return {};
            head.append(buffer, static_cast<size_t>(n));
        }
        return head;
    }

    static bool SendAll(int connection, const std::string& data) {
        size_t sent = 0;
        while (sent < data.size()) {
            ssize_t n = ::send(connection, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<size_t>(n);
        }
        return true;
    }

    void Handle(int connection) {
        std::string head = ReadHead(connection);
        HttpRequest request;
        size_t space = head.find(' ');
        if (space != std::string::npos) request.path = head.substr(space + 1, head.find(' ', space + 1) - space - 1);
        size_t agent = head.find("User-Agent: ");
        if (agent != std::string::npos) request.userAgent = head.substr(agent + 12, head.find("\r\n", agent) - agent - 12);
        HttpReply reply;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            auto found = replies_.find(request.path);
            if (found != replies_.end()) {
                reply = found->second;
            } else {
                reply.status = 404;
                reply.body = "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>";
            }
        }
        if (reply.silent) {
            // Keep the connection open without a word until the server stops.
            held_.push_back(connection);
            return;
        }
        std::string response = "HTTP/1.1 " + std::to_string(reply.status) + " Reply\r\nConnection: close\r\n";
        for (const std::string& line : reply.headers) response += line + "\r\n";
        if (reply.chunked) {
            response += "Transfer-Encoding: chunked\r\n\r\n";
            bool open = SendAll(connection, response);
            for (size_t at = 0; open && at < reply.body.size(); at += 16384) {
                std::string piece = reply.body.substr(at, 16384);
                char size[32];
                std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
                open = SendAll(connection, size + piece + "\r\n");
            }
            if (open) SendAll(connection, "0\r\n\r\n");
        } else {
            response += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n\r\n";
            SendAll(connection, response + reply.body);
        }
        ::shutdown(connection, SHUT_WR);
        ::close(connection);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::map<std::string, HttpReply> replies_;
    std::vector<HttpRequest> requests_;
    std::vector<int> held_;
};

}  // namespace qvtest
