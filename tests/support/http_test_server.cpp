#include "http_test_server.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // std::min, not the macro
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <algorithm>
#include <chrono>
#include <cctype>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <type_traits>

namespace veltrano::testing {
namespace {

// How long a wait may go without noticing that the server stops. Waiting in
// slices rather than on a wake-up handle works alike on every system.
constexpr int kStopCheckMilliseconds = 20;

// The few places where Winsock and POSIX sockets differ.
#ifdef _WIN32
using SocketHandle = SOCKET;
using PollEntry = WSAPOLLFD;
constexpr SocketHandle kInvalidSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;  // Windows raises no signal on a broken connection
constexpr int kShutWrite = SD_SEND;

int LastSocketError() { return WSAGetLastError(); }
const std::error_category& SocketErrorCategory() { return std::system_category(); }
bool Retryable() {
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINTR || error == WSAEINPROGRESS;
}
void CloseSocket(SocketHandle socket) { ::closesocket(socket); }
int PollOnce(PollEntry& entry, int milliseconds) { return ::WSAPoll(&entry, 1, milliseconds); }

// Non-blocking, and not handed down to programs the tests start, which would
// otherwise keep connections open behind the server's back.
bool Prepare(SocketHandle socket) {
    ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    u_long nonBlocking = 1;
    return ::ioctlsocket(socket, static_cast<long>(FIONBIO), &nonBlocking) == 0;
}
SocketHandle NewSocket() {
    const SocketHandle socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket != kInvalidSocket && !Prepare(socket)) {
        const int error = WSAGetLastError();
        ::closesocket(socket);
        WSASetLastError(error);
        return kInvalidSocket;
    }
    return socket;
}
SocketHandle AcceptSocket(SocketHandle listener, sockaddr_in& peer) {
    int length = sizeof peer;
    const SocketHandle socket = ::accept(listener, reinterpret_cast<sockaddr*>(&peer), &length);
    if (socket != kInvalidSocket && !Prepare(socket)) {
        ::closesocket(socket);
        return kInvalidSocket;
    }
    return socket;
}
long long SendSome(SocketHandle socket, std::string_view data) {
    const int length = static_cast<int>(std::min<std::size_t>(data.size(), INT_MAX));
    return ::send(socket, data.data(), length, kSendFlags);
}
long long ReceiveSome(SocketHandle socket, char* buffer, std::size_t size) {
    return ::recv(socket, buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
}
#else
using SocketHandle = int;
using PollEntry = pollfd;
constexpr SocketHandle kInvalidSocket = -1;
constexpr int kSendFlags = MSG_NOSIGNAL;
constexpr int kShutWrite = SHUT_WR;

int LastSocketError() { return errno; }
const std::error_category& SocketErrorCategory() { return std::generic_category(); }
bool Retryable() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }
void CloseSocket(SocketHandle socket) { ::close(socket); }
int PollOnce(PollEntry& entry, int milliseconds) { return ::poll(&entry, 1, milliseconds); }

SocketHandle NewSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0); }
SocketHandle AcceptSocket(SocketHandle listener, sockaddr_in& peer) {
    socklen_t length = sizeof peer;
    return ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
}
long long SendSome(SocketHandle socket, std::string_view data) {
    return ::send(socket, data.data(), data.size(), kSendFlags);
}
long long ReceiveSome(SocketHandle socket, char* buffer, std::size_t size) {
    return ::recv(socket, buffer, size, 0);
}
#endif

[[noreturn]] void ThrowSocketError(const char* what, SocketHandle socket = kInvalidSocket) {
    const int error = LastSocketError();
    if (socket != kInvalidSocket) CloseSocket(socket);
    throw std::system_error(error, SocketErrorCategory(), what);
}

// A non-blocking TCP socket bound to 127.0.0.1 at a port the system picks.
SocketHandle BoundSocket(std::uint16_t& port) {
    const SocketHandle socket = NewSocket();
    if (socket == kInvalidSocket) ThrowSocketError("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ThrowSocketError("bind", socket);
    }
    port = ntohs(address.sin_port);
    return socket;
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

#ifdef _WIN32
HttpTestServer::SocketLibrary::SocketLibrary() {
    WSADATA data;
    const int error = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (error != 0) throw std::system_error(error, std::system_category(), "WSAStartup");
}
HttpTestServer::SocketLibrary::~SocketLibrary() { ::WSACleanup(); }
#else
HttpTestServer::SocketLibrary::SocketLibrary() = default;
HttpTestServer::SocketLibrary::~SocketLibrary() = default;
#endif

HttpTestServer::HttpTestServer() {
    static_assert(std::is_same_v<Socket, SocketHandle> && kNoSocket == kInvalidSocket);
    listener_ = BoundSocket(port_);
    if (::listen(listener_, SOMAXCONN) != 0) ThrowSocketError("listen", listener_);
    acceptThread_ = std::thread(&HttpTestServer::AcceptLoop, this);
}

HttpTestServer::~HttpTestServer() {
    stopping_ = true;
    acceptThread_.join();
    // With the accept thread gone, nothing adds to the list any more.
    for (std::thread& connection : connections_) connection.join();
    CloseSocket(listener_);
}

void HttpTestServer::Route(const std::string& target, CannedResponse response) {
    const std::lock_guard lock(mutex_);
    routes_[target] = std::move(response);
}

void HttpTestServer::Hold(const std::string& target) {
    const std::lock_guard lock(mutex_);
    held_.insert(target);
}

void HttpTestServer::Release(const std::string& target) {
    const std::lock_guard lock(mutex_);
    held_.erase(target);
}

bool HttpTestServer::IsHeld(const std::string& target) const {
    const std::lock_guard lock(mutex_);
    return held_.count(target) != 0 || held_.count(target.substr(0, target.find('?'))) != 0;
}

void HttpTestServer::Redirect(const std::string& target, int status, const std::string& location) {
    Route(target, CannedResponse{status, location, ""});
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

void HttpTestServer::ClearRequests() {
    const std::lock_guard lock(mutex_);
    cleared_ += requests_.size();
    requests_.clear();
}

void HttpTestServer::ServeFolder(const std::string& folder) {
    const std::lock_guard lock(mutex_);
    folder_ = folder;
}

CannedResponse HttpTestServer::Lookup(const std::string& target) const {
    const std::string path = target.substr(0, target.find('?'));
    for (const std::string& key : {target, path}) {
        const auto route = routes_.find(key);
        if (route != routes_.end()) return route->second;
    }
    const std::filesystem::path file = folder_ + path + (path.ends_with('/') ? "index.html" : "");
    std::ifstream in(file, std::ios::binary);
    if (folder_.empty() || !std::filesystem::is_regular_file(file) || !in) return CannedResponse{404, "", "no such route\n"};
    return CannedResponse{200, "", std::string(std::istreambuf_iterator<char>(in), {})};
}

bool HttpTestServer::Await(Socket socket, short events) const {
    while (!stopping_) {
        PollEntry entry{};
        entry.fd = socket;
        entry.events = events;
        const int ready = PollOnce(entry, kStopCheckMilliseconds);
        if (ready > 0) return !stopping_ && (entry.revents & (POLLERR | POLLNVAL)) == 0;
        if (ready < 0 && !Retryable()) return false;
    }
    return false;
}

bool HttpTestServer::SendAll(Socket socket, std::string_view data) const {
    while (!data.empty()) {
        const long long sent = SendSome(socket, data);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent == 0 || !Retryable() || !Await(socket, POLLOUT)) {
            return false;
        }
    }
    return true;
}

bool HttpTestServer::Pause(std::chrono::milliseconds interval) const {
    const auto end = std::chrono::steady_clock::now() + interval;
    while (!stopping_) {
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            left, std::chrono::milliseconds(kStopCheckMilliseconds)));
    }
    return false;
}

void HttpTestServer::AwaitClientLeaving(Socket socket) const {
    char dropped[4096];
    while (Await(socket, POLLIN)) {
        const long long got = ReceiveSome(socket, dropped, sizeof dropped);
        if (got == 0 || (got < 0 && !Retryable())) return;
    }
}

void HttpTestServer::AcceptLoop() {
    while (Await(listener_, POLLIN)) {
        sockaddr_in peer{};
        const SocketHandle socket = AcceptSocket(listener_, peer);
        if (socket == kInvalidSocket) continue;
        const auto ip = ntohl(peer.sin_addr.s_addr);
        std::string client = std::to_string(ip >> 24) + "." + std::to_string(ip >> 16 & 255) + "." +
                             std::to_string(ip >> 8 & 255) + "." + std::to_string(ip & 255);
        // Small answers must not wait for the client's delayed acknowledgement.
        const int noDelay = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        const std::lock_guard lock(mutex_);
        connections_.emplace_back(&HttpTestServer::Serve, this, socket, std::move(client));
        ++accepted_;
    }
}

void HttpTestServer::Serve(Socket socket, std::string client) {
    std::string pending;
    char buffer[16 * 1024];
    Ending ending = Ending::keepOpen;
    while (ending == Ending::keepOpen) {
        const std::size_t headEnd = pending.find("\r\n\r\n");
        if (headEnd == std::string::npos) {
            // More of the head, unless it is absurdly long or the client or server left.
            const long long got = ReceiveSome(socket, buffer, sizeof buffer);
            if (got > 0 && pending.size() < 64 * 1024) {
                pending.append(buffer, static_cast<std::size_t>(got));
            } else if (got >= 0 || !Retryable() || !Await(socket, POLLIN)) {
                ending = Ending::close;
            }
            continue;
        }
        // The client sends GET requests only, without a body.
        RecordedRequest request = ParseHead(pending.substr(0, headEnd));
        request.client = client;
        request.arrival = std::chrono::steady_clock::now();
        pending.erase(0, headEnd + 4);
        const std::string target = request.target;
        std::size_t number = 0;
        {
            const std::lock_guard lock(mutex_);
            number = cleared_ + requests_.size();
            requests_.push_back(std::move(request));
        }
        while (!stopping_ && IsHeld(target)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        CannedResponse response;
        {
            const std::lock_guard lock(mutex_);
            response = Lookup(target);
            if (number >= cleared_) requests_[number - cleared_].bodyBytes = response.body.size() + response.fillerBytes;
        }
        ending = Respond(socket, response);
    }
    if (ending == Ending::reset) {
        // Closed without lingering, the connection is aborted: the client
        // receives a reset instead of the end of the data.
        linger abort{};
        abort.l_onoff = 1;
        abort.l_linger = 0;
        ::setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
        CloseSocket(socket);
        return;
    }
    // Closing with unread input would reset the connection and could cost the
    // client the end of the answer: this side is shut, and the rest drained.
    ::shutdown(socket, kShutWrite);
    AwaitClientLeaving(socket);
    CloseSocket(socket);
}

HttpTestServer::Ending HttpTestServer::Respond(Socket socket, const CannedResponse& response) const {
    using Delivery = CannedResponse::Delivery;
    if (response.delivery == Delivery::raw) {
        SendAll(socket, response.body);
        return Ending::close;
    }
    const std::uint64_t size = response.body.size() + response.fillerBytes;
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " Canned\r\nContent-Length: " +
                       std::to_string(response.contentLength.value_or(size)) + "\r\n";
    if (!response.location.empty()) head += "Location: " + response.location + "\r\n";
    for (const std::string& header : response.headers) head += header + "\r\n";
    head += "\r\n";
    switch (response.delivery) {
    case Delivery::whole:
        // Head and body in one piece, as a quick server sends them.
        return SendAll(socket, head + response.body) && SendFiller(socket, response.fillerBytes) ? Ending::keepOpen
                                                                                                 : Ending::close;
    case Delivery::cut:
    case Delivery::reset: {
        const std::size_t fromBody = std::min(response.bytesBeforeCut, response.body.size());
        const std::uint64_t fromFiller = std::min<std::uint64_t>(response.bytesBeforeCut - fromBody, response.fillerBytes);
        if (SendAll(socket, head + response.body.substr(0, fromBody))) SendFiller(socket, fromFiller);
        return response.delivery == Delivery::cut ? Ending::close : Ending::reset;
    }
    case Delivery::stall:
        if (SendAll(socket, head)) AwaitClientLeaving(socket);
        return Ending::close;
    case Delivery::trickle:
        // Ends early once the client has left: a send then fails.
        if (!SendAll(socket, head)) return Ending::close;
        for (std::uint64_t i = 0; i < size; ++i) {
            if (!Pause(response.trickleInterval)) return Ending::close;
            const bool sent = i < response.body.size()
                                  ? SendAll(socket, std::string_view(response.body).substr(static_cast<std::size_t>(i), 1))
                                  : SendFiller(socket, 1);
            if (!sent) return Ending::close;
        }
        return Ending::keepOpen;
    case Delivery::raw:
        break;
    }
    return Ending::close;
}

bool HttpTestServer::SendFiller(Socket socket, std::uint64_t count) const {
    static const std::string kSpaces(64 * 1024, ' ');
    while (count > 0) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, kSpaces.size()));
        if (!SendAll(socket, std::string_view(kSpaces).substr(0, piece))) return false;
        count -= piece;
    }
    return true;
}

std::uint16_t ClosedPort() {
    const HttpTestServer::SocketLibrary socketLibrary;
    std::uint16_t port = 0;
    CloseSocket(BoundSocket(port));
    return port;
}

}  // namespace veltrano::testing
