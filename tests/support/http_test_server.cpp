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
#include <charconv>
#include <cerrno>
#include <system_error>

namespace veltrano::testing {
namespace {

constexpr std::size_t kMaxHeadSize = 64 * 1024;

[[noreturn]] void ThrowErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string FindHeader(const HeaderList& headers, std::string_view name) {
    for (const auto& [key, value] : headers) {
        if (EqualsIgnoringCase(key, name)) return value;
    }
    return {};
}

bool HasHeader(const HeaderList& headers, std::string_view name) {
    return std::any_of(headers.begin(), headers.end(),
                       [name](const auto& header) { return EqualsIgnoringCase(header.first, name); });
}

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 410: return "Gone";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Whatever";
    }
}

sockaddr_in LoopbackAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A TCP socket bound to 127.0.0.1 at a port the system picks.
int BoundSocket(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) ThrowErrno("socket");
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::system_error(error, std::generic_category(), "bind");
    }
    port = ntohs(address.sin_port);
    return fd;
}

void SetNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) ThrowErrno("fcntl");
}

struct ParsedHead {
    bool valid = false;
    RecordedRequest request;
};

ParsedHead ParseHead(std::string_view head) {
    ParsedHead parsed;
    const std::size_t lineEnd = head.find("\r\n");
    const std::string_view line = head.substr(0, lineEnd);
    const std::size_t firstSpace = line.find(' ');
    const std::size_t lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || lastSpace == firstSpace) return parsed;
    parsed.request.method = line.substr(0, firstSpace);
    parsed.request.target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    parsed.request.version = line.substr(lastSpace + 1);
    std::string_view rest = lineEnd == std::string_view::npos ? std::string_view() : head.substr(lineEnd + 2);
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        const std::string_view field = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
        if (field.empty()) continue;
        const std::size_t colon = field.find(':');
        if (colon == std::string_view::npos) return parsed;
        parsed.request.headers.emplace_back(field.substr(0, colon), Trim(field.substr(colon + 1)));
    }
    parsed.valid = parsed.request.version.substr(0, 5) == "HTTP/";
    return parsed;
}

std::string ChunkFrame(std::string_view data) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string size;
    for (std::size_t n = data.size(); n > 0; n /= 16) size.insert(size.begin(), kHex[n % 16]);
    return size + "\r\n" + std::string(data) + "\r\n";
}

}  // namespace

std::string RecordedRequest::Header(std::string_view name) const { return FindHeader(headers, name); }

HttpTestServer::HttpTestServer() {
    listener_ = BoundSocket(port_);
    int pipeEnds[2];
    if (::listen(listener_, SOMAXCONN) != 0 || ::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(listener_);
        throw std::system_error(error, std::generic_category(), "listen");
    }
    wakeRead_ = pipeEnds[0];
    wakeWrite_ = pipeEnds[1];
    SetNonBlocking(listener_);
    acceptThread_ = std::thread(&HttpTestServer::AcceptLoop, this);
}

HttpTestServer::~HttpTestServer() { Stop(); }

void HttpTestServer::Route(const std::string& target, CannedResponse response) {
    const std::lock_guard lock(mutex_);
    routes_[target] = std::move(response);
}

void HttpTestServer::Redirect(const std::string& target, int status, const std::string& location) {
    CannedResponse response;
    response.status = status;
    response.headers = {{"Location", location}, {"Content-Type", "text/html"}};
    response.body = "<a href=\"" + location + "\">moved</a>";
    Route(target, std::move(response));
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

void HttpTestServer::Stop() {
    {
        const std::lock_guard lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
    }
    // The byte is never read, so every wait of every thread sees it.
    const char wake = 1;
    while (::write(wakeWrite_, &wake, 1) < 0 && errno == EINTR) {
    }
    acceptThread_.join();
    std::vector<std::thread> connections;
    {
        const std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (std::thread& connection : connections) connection.join();
    ::close(listener_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

bool HttpTestServer::Await(int socket, short events) const {
    pollfd waits[2] = {{socket, events, 0}, {wakeRead_, POLLIN, 0}};
    for (;;) {
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (waits[1].revents != 0) return false;
        if ((waits[0].revents & (POLLERR | POLLNVAL)) != 0) return false;
        if (waits[0].revents != 0) return true;
    }
}

bool HttpTestServer::SendAll(int socket, std::string_view data) const {
    while (!data.empty()) {
        const ssize_t sent = ::send(socket, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (!Await(socket, POLLOUT)) return false;
        } else {
            return false;
        }
    }
    return true;
}

void HttpTestServer::AcceptLoop() {
    while (Await(listener_, POLLIN)) {
        const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket < 0) continue;
        // Head and body go out in separate writes; Nagle's algorithm would
        // hold the body back until the client's delayed acknowledgement.
        const int noDelay = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        const std::lock_guard lock(mutex_);
        connections_.emplace_back(&HttpTestServer::Serve, this, socket, accepted_);
        ++accepted_;
    }
}

void HttpTestServer::Serve(int socket, std::size_t connection) {
    std::string pending;
    char buffer[16 * 1024];
    // Reads more into `pending`; false when the client is gone or the server stops.
    const auto receive = [&]() {
        for (;;) {
            const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
            if (got > 0) {
                pending.append(buffer, static_cast<std::size_t>(got));
                return true;
            }
            if (got == 0) return false;
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
            if (!Await(socket, POLLIN)) return false;
        }
    };
    const auto refuse = [&](int status) {
        CannedResponse response;
        response.status = status;
        response.body = "bad request\n";
        Respond(socket, response, false);
    };

    for (bool open = true; open;) {
        std::size_t headEnd = pending.find("\r\n\r\n");
        while (headEnd == std::string::npos) {
            // Anything but a request (a TLS greeting, say) gets an answer
            // at once rather than a wait for a blank line that never comes.
            if (!pending.empty() && !std::isupper(static_cast<unsigned char>(pending.front()))) {
                refuse(400);
                open = false;
                break;
            }
            if (pending.size() > kMaxHeadSize) {
                refuse(431);
                open = false;
                break;
            }
            if (!receive()) {
                open = false;
                break;
            }
            headEnd = pending.find("\r\n\r\n");
        }
        if (!open) break;

        ParsedHead parsed = ParseHead(std::string_view(pending).substr(0, headEnd));
        pending.erase(0, headEnd + 4);
        if (!parsed.valid) {
            refuse(400);
            break;
        }
        // A request body is read and dropped; the routes do not look at it.
        const std::string lengthText = FindHeader(parsed.request.headers, "Content-Length");
        std::size_t bodyLength = 0;
        if (!lengthText.empty() &&
            std::from_chars(lengthText.data(), lengthText.data() + lengthText.size(), bodyLength).ec != std::errc()) {
            refuse(400);
            break;
        }
        while (pending.size() < bodyLength && receive()) {
        }
        if (pending.size() < bodyLength) break;
        pending.erase(0, bodyLength);

        parsed.request.connection = connection;
        const bool keepAlive = parsed.request.version == "HTTP/1.1" &&
                               !EqualsIgnoringCase(parsed.request.Header("Connection"), "close");
        CannedResponse response;
        {
            const std::lock_guard lock(mutex_);
            const auto route = routes_.find(parsed.request.target);
            if (route != routes_.end()) {
                response = route->second;
            } else {
                response.status = 404;
                response.body = "no such route\n";
            }
            requests_.push_back(std::move(parsed.request));
        }
        open = Respond(socket, response, keepAlive);
    }
    // Closing with unread input would reset the connection and could cost
    // the client the end of the answer; so only this side is shut, and
    // the client's leftovers are drained until it closes too.
    ::shutdown(socket, SHUT_WR);
    AwaitClientLeaving(socket);
    ::close(socket);
}

void HttpTestServer::AwaitClientLeaving(int socket) const {
    char dropped[4096];
    while (Await(socket, POLLIN)) {
        const ssize_t got = ::recv(socket, dropped, sizeof dropped, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return;
    }
}

bool HttpTestServer::Respond(int socket, const CannedResponse& response, bool keepAlive) {
    keepAlive = keepAlive && response.delivery == CannedResponse::Delivery::whole &&
                !EqualsIgnoringCase(FindHeader(response.headers, "Connection"), "close");
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + ReasonPhrase(response.status) + "\r\n";
    if (response.chunked) {
        head += "Transfer-Encoding: chunked\r\n";
    } else if (!HasHeader(response.headers, "Content-Length")) {
        head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    }
    if (!keepAlive && !HasHeader(response.headers, "Connection")) head += "Connection: close\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    head += "\r\n";
    if (!SendAll(socket, head)) return false;

    const std::string_view body = response.body;
    const std::size_t toSend = response.delivery == CannedResponse::Delivery::whole
                                   ? body.size()
                                   : std::min(response.bytesBeforeTrouble, body.size());
    const std::size_t pieceSize = response.pieceSize == 0 ? std::max<std::size_t>(toSend, 1) : response.pieceSize;
    for (std::size_t offset = 0; offset < toSend; offset += pieceSize) {
        const std::string_view piece = body.substr(offset, std::min(pieceSize, toSend - offset));
        if (!SendAll(socket, response.chunked ? std::string_view(ChunkFrame(piece)) : piece)) return false;
    }

    switch (response.delivery) {
    case CannedResponse::Delivery::whole:
        if (response.chunked && !SendAll(socket, "0\r\n\r\n")) return false;
        return keepAlive;
    case CannedResponse::Delivery::stall:
        // Silence, with the connection open, until the client gives up or
        // the server stops.
        AwaitClientLeaving(socket);
        return false;
    case CannedResponse::Delivery::cut:
        return false;
    }
    return false;
}

std::uint16_t ClosedPort() {
    std::uint16_t port = 0;
    ::close(BoundSocket(port));
    return port;
}

SilentListener::SilentListener() {
    listener_ = BoundSocket(port_);
    // With a backlog of 0 the queue is full after one connection that is
    // never accepted; Linux then drops further connection requests unanswered.
    if (::listen(listener_, 0) != 0) {
        const int error = errno;
        ::close(listener_);
        throw std::system_error(error, std::generic_category(), "listen");
    }
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = LoopbackAddress(port_);
    if (filler_ < 0 || ::connect(filler_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        if (filler_ >= 0) ::close(filler_);
        ::close(listener_);
        throw std::system_error(error, std::generic_category(), "connect");
    }
}

SilentListener::~SilentListener() {
    ::close(filler_);
    ::close(listener_);
}

}  // namespace veltrano::testing
