#include "http_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <sstream>
#include <system_error>

namespace veltrano::testing {
namespace {

[[noreturn]] void ThrowErrno(const char* what, int fd = -1) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    throw std::system_error(error, std::generic_category(), what);
}

bool Retryable() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

// A non-blocking TCP socket bound to 127.0.0.1 at a port the system picks.
int BoundSocket(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) ThrowErrno("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ThrowErrno("bind", fd);
    }
    port = ntohs(address.sin_port);
    return fd;
}

RecordedRequest ParseHead(const std::string& head) {
    RecordedRequest request;
    std::istringstream lines(head);
    std::string line;
    std::getline(lines, line);
    std::istringstream(line) >> request.method >> request.target;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        request.headers[name] = line.substr(std::min(line.find_first_not_of(' ', colon + 1), line.size()));
    }
    return request;
}

}  // namespace

HttpTestServer::HttpTestServer() {
    listener_ = BoundSocket(port_);
    int pipeEnds[2];
    if (::listen(listener_, SOMAXCONN) != 0 || ::pipe2(pipeEnds, O_CLOEXEC) != 0) ThrowErrno("listen", listener_);
    wakeRead_ = pipeEnds[0];
    wakeWrite_ = pipeEnds[1];
    acceptThread_ = std::thread(&HttpTestServer::AcceptLoop, this);
}

HttpTestServer::~HttpTestServer() {
    // The byte is never read, so every wait of every thread sees it.
    const char wake = 1;
    while (::write(wakeWrite_, &wake, 1) < 0 && errno == EINTR) continue;
    acceptThread_.join();
    // With the accept thread gone, nothing adds to the list any more.
    for (std::thread& connection : connections_) connection.join();
    ::close(listener_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

void HttpTestServer::Route(const std::string& target, CannedResponse response) {
    const std::lock_guard lock(mutex_);
    routes_[target] = std::move(response);
}

void HttpTestServer::Redirect(const std::string& target, int status, const std::string& location) {
    Route(target, CannedResponse{status, location, "<a href=\"" + location + "\">moved</a>"});
}

std::string HttpTestServer::Address(std::string_view target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(target);
}

std::size_t HttpTestServer::AcceptedConnections() const {
    const std::lock_guard lock(mutex_);
    return accepted_;
}

std::vector<RecordedRequest> HttpTestServer::Requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

bool HttpTestServer::Await(int socket, short events) const {
    pollfd waits[2] = {{socket, events, 0}, {wakeRead_, POLLIN, 0}};
    int ready = 0;
    while ((ready = ::poll(waits, 2, -1)) < 0 && errno == EINTR) continue;
    return ready > 0 && waits[1].revents == 0 && (waits[0].revents & (POLLERR | POLLNVAL)) == 0;
}

bool HttpTestServer::SendAll(int socket, std::string_view data) const {
    while (!data.empty()) {
        const ssize_t sent = ::send(socket, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent == 0 || !Retryable() || !Await(socket, POLLOUT)) {
            return false;
        }
    }
    return true;
}

void HttpTestServer::AwaitClientLeaving(int socket) const {
    char dropped[4096];
    while (Await(socket, POLLIN)) {
        const ssize_t got = ::recv(socket, dropped, sizeof dropped, 0);
        if (got == 0 || (got < 0 && !Retryable())) return;
    }
}

void HttpTestServer::AcceptLoop() {
    while (Await(listener_, POLLIN)) {
        const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket < 0) continue;
        // Small answers must not wait for the client's delayed acknowledgement.
        const int noDelay = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        const std::lock_guard lock(mutex_);
        connections_.emplace_back(&HttpTestServer::Serve, this, socket);
        ++accepted_;
    }
}

void HttpTestServer::Serve(int socket) {
    std::string pending;
    char buffer[16 * 1024];
    for (bool open = true; open;) {
        const std::size_t headEnd = pending.find("\r\n\r\n");
        if (headEnd == std::string::npos) {
            // More of the head, unless it is absurdly long or the client or server left.
            const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
            if (got > 0 && pending.size() < 64 * 1024) {
                pending.append(buffer, static_cast<std::size_t>(got));
            } else if (got >= 0 || !Retryable() || !Await(socket, POLLIN)) {
                open = false;
            }
            continue;
        }
        // The client sends GET requests only, without a body.
        RecordedRequest request = ParseHead(pending.substr(0, headEnd));
        pending.erase(0, headEnd + 4);
        CannedResponse response{404, "", "no such route\n"};
        {
            const std::lock_guard lock(mutex_);
            const auto route = routes_.find(request.target);
            if (route != routes_.end()) response = route->second;
            requests_.push_back(std::move(request));
        }
        open = Respond(socket, response);
    }
    // Closing with unread input would reset the connection and could cost the
    // client the end of the answer: this side is shut, and the rest drained.
    ::shutdown(socket, SHUT_WR);
    AwaitClientLeaving(socket);
    ::close(socket);
}

bool HttpTestServer::Respond(int socket, const CannedResponse& response) const {
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " Canned\r\nContent-Length: " +
                       std::to_string(response.body.size()) + "\r\n";
    if (!response.location.empty()) head += "Location: " + response.location + "\r\n";
    head += "\r\n";
    switch (response.delivery) {
    case CannedResponse::Delivery::whole:
        return SendAll(socket, head + response.body);
    case CannedResponse::Delivery::cut:
        SendAll(socket, head + response.body.substr(0, response.bytesBeforeCut));
        return false;
    case CannedResponse::Delivery::stall:
        if (SendAll(socket, head)) AwaitClientLeaving(socket);
        return false;
    }
    return false;
}

std::uint16_t ClosedPort() {
    std::uint16_t port = 0;
    ::close(BoundSocket(port));
    return port;
}

}  // namespace veltrano::testing
