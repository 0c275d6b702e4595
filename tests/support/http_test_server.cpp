#include "http_test_server.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // std::min, not the macro
#endif
#include <winsock2.h>
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace veltrano::testing {
namespace {

// Every wait polls in slices of 20 ms, so that it notices when the server stops.
using Socket = decltype(::socket(AF_INET, SOCK_STREAM, 0));
constexpr Socket kNoSocket = static_cast<Socket>(-1);
#ifdef _WIN32
using PollEntry = WSAPOLLFD;
using socklen_t = int;
constexpr int kNoSignal = 0;
const bool kSocketsReady = [] { WSADATA data; return ::WSAStartup(MAKEWORD(2, 2), &data) == 0; }();
int Poll(PollEntry& entry) { return ::WSAPoll(&entry, 1, 20); }
void Close(Socket socket) { ::closesocket(socket); }
#else
using PollEntry = pollfd;
constexpr int kNoSignal = MSG_NOSIGNAL;
constexpr bool kSocketsReady = true;
int Poll(PollEntry& entry) { return ::poll(&entry, 1, 20); }
void Close(Socket socket) { ::close(socket); }
#endif

Socket BoundSocket(std::uint16_t& port) {
    const Socket socket = kSocketsReady ? ::socket(AF_INET, SOCK_STREAM, 0) : kNoSocket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (socket == kNoSocket || ::bind(socket, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("the test server cannot bind to 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return socket;
}

}  // namespace

struct HttpTestServer::State {
    Socket listener = kNoSocket;
    std::uint16_t port = 0;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    std::map<std::string, std::shared_ptr<const CannedResponse>> routes;  // shared, so that a huge one is never copied
    std::set<std::string> held;
    std::string folder;
    std::vector<RecordedRequest> requests;
    std::vector<std::thread> connections;  // one for each connection accepted
    std::thread acceptor;

    template <typename Work>
    auto Locked(Work work) const {
        const std::lock_guard lock(mutex);
        return work();
    }

    // True once `socket` has input (or its end); false when it failed or the server stops.
    bool Readable(Socket socket) const {
        while (!stopping) {
            PollEntry entry{socket, POLLIN, 0};
            if (Poll(entry) > 0) return (entry.revents & (POLLERR | POLLNVAL)) == 0;
        }
        return false;
    }

    bool SendAll(Socket socket, std::string_view data) const {
        for (long long sent = 0; !data.empty(); data.remove_prefix(static_cast<std::size_t>(sent))) {
            sent = ::send(socket, data.data(), static_cast<int>(std::min<std::size_t>(data.size(), 1 << 20)), kNoSignal);
            if (sent <= 0) return false;
        }
        return true;
    }

    // True when the connection stays open for the next request.
    bool Respond(Socket socket, const CannedResponse& response) const {
        if (response.raw) {
            SendAll(socket, response.body);
            return false;
        }
        const std::uint64_t size = response.body.size() + response.fillerBytes;
        std::string head = "HTTP/1.1 " + std::to_string(response.status) + " Canned\r\nContent-Length: " +
                           std::to_string(response.contentLength.value_or(size)) + "\r\n";
        if (!response.location.empty()) head += "Location: " + response.location + "\r\n";
        for (const std::string& header : response.headers) head += header + "\r\n";
        // Head and body in one piece, as a quick server sends them, unless the body trickles.
        const std::uint64_t end = std::min(size, response.cutAfter.value_or(size));
        std::uint64_t at = response.trickle.count() > 0 ? 0 : std::min<std::uint64_t>(end, response.body.size());
        bool sent = SendAll(socket, head.append("\r\n").append(response.body, 0, at));
        static const std::string kSpaces(64 * 1024, ' ');  // the filler
        for (std::uint64_t step = 1; sent && at < end; at += step) {
            step = response.trickle.count() > 0 ? 1 : std::min<std::uint64_t>(end - at, kSpaces.size());
            const auto due = std::chrono::steady_clock::now() + response.trickle;
            while (!stopping && std::chrono::steady_clock::now() < due) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            sent = !stopping && SendAll(socket, at < response.body.size() ? std::string_view(response.body).substr(at, 1)
                                                                          : std::string_view(kSpaces).substr(0, step));
        }
        if (sent && response.reset) {
            // Closed without lingering, the connection is aborted: the client gets a reset.
            const linger abort{1, 0};
            ::setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
        }
        return sent && !response.cutAfter;
    }

    std::shared_ptr<const CannedResponse> Lookup(const std::string& target) const {  // with the lock held
        const std::string path = target.substr(0, target.find('?'));
        const auto route = routes.count(target) ? routes.find(target) : routes.find(path);
        if (route != routes.end()) return route->second;
        const std::filesystem::path file = folder + path + (path.ends_with('/') ? "index.html" : "");
        std::ifstream in(file, std::ios::binary);
        if (folder.empty() || !std::filesystem::is_regular_file(file)) return std::make_shared<const CannedResponse>(404, "", "no such route\n");
        return std::make_shared<const CannedResponse>(200, "", std::string(std::istreambuf_iterator<char>(in), {}));
    }

    void Serve(Socket socket) {
        std::string pending;
        char buffer[16 * 1024];
        for (bool open = true; open;) {
            const std::size_t headEnd = pending.find("\r\n\r\n");
            if (headEnd == std::string::npos) {
                // More of the head, unless it is absurdly long or the client or server left.
                const auto got = Readable(socket) ? ::recv(socket, buffer, static_cast<int>(sizeof buffer), 0) : 0;
                pending.append(buffer, static_cast<std::size_t>(std::max<long long>(got, 0)));
                open = got > 0 && pending.size() < 64 * 1024;
                continue;
            }
            RecordedRequest request;  // the clients send requests without a body
            request.arrival = std::chrono::steady_clock::now();
            std::istringstream lines(pending.substr(0, headEnd + 2));  // each line ends with "\r"
            pending.erase(0, headEnd + 4);
            lines >> request.method >> request.target;
            for (std::string line; std::getline(lines, line);) {
                const std::size_t colon = line.find(':'), value = line.find_first_not_of(' ', colon + 1);
                if (colon == std::string::npos || value == std::string::npos) continue;
                std::string name = line.substr(0, colon);
                for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                request.headers[name] = line.substr(value, line.size() - 1 - value);
            }
            const std::string target = request.target, path = target.substr(0, target.find('?'));
            const std::size_t number = Locked([&] { return requests.push_back(std::move(request)), requests.size() - 1; });
            while (!stopping && Locked([&] { return held.count(target) + held.count(path) > 0; })) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            const auto answer = Locked([&] {
                auto response = Lookup(target);
                requests[number].bodyBytes = response->body.size() + response->fillerBytes;
                return response;
            });
            open = Respond(socket, *answer);
        }
        Close(socket);
    }

    void AcceptLoop() {
        while (Readable(listener)) {
            const Socket socket = ::accept(listener, nullptr, nullptr);
            if (socket == kNoSocket) continue;
            // Small answers must not wait for the client's delayed acknowledgement.
            const int noDelay = 1;
            ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
            Locked([&] { connections.emplace_back(&State::Serve, this, socket); });
        }
    }
};

HttpTestServer::HttpTestServer() : state_(std::make_unique<State>()) {
    state_->listener = BoundSocket(state_->port);
    if (::listen(state_->listener, SOMAXCONN) != 0) throw std::runtime_error("the test server cannot listen");
    state_->acceptor = std::thread(&State::AcceptLoop, state_.get());
}

HttpTestServer::~HttpTestServer() {
    state_->stopping = true;
    state_->acceptor.join();
    // With the acceptor gone, nothing adds to the connections any more.
    for (std::thread& connection : state_->connections) connection.join();
    Close(state_->listener);
}

void HttpTestServer::Route(const std::string& target, CannedResponse response) {
    state_->Locked([&] { state_->routes[target] = std::make_shared<const CannedResponse>(std::move(response)); });
}
void HttpTestServer::ServeFolder(const std::string& folder) { state_->Locked([&] { state_->folder = folder; }); }
void HttpTestServer::Hold(const std::string& target) { state_->Locked([&] { state_->held.insert(target); }); }
void HttpTestServer::Release(const std::string& target) { state_->Locked([&] { state_->held.erase(target); }); }
std::string HttpTestServer::Address(std::string_view target) const {
    return "http://127.0.0.1:" + std::to_string(state_->port) + std::string(target);
}
std::size_t HttpTestServer::AcceptedConnections() const { return state_->Locked([&] { return state_->connections.size(); }); }
std::vector<RecordedRequest> HttpTestServer::Requests() const { return state_->Locked([&] { return state_->requests; }); }

std::uint16_t ClosedPort() {
    std::uint16_t port = 0;
    Close(BoundSocket(port));
    return port;
}

}  // namespace veltrano::testing
