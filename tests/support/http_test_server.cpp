#include "http_test_server.h"

#ifdef _WIN32
#include <winsock2.h>  // after the standard headers of the class, which keep it from defining min and max
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace veltrano::testing {
namespace {

// Every wait polls in slices of 20 ms, so that it notices when the server stops.
using namespace std::chrono_literals;
using Socket = decltype(::socket(AF_INET, SOCK_STREAM, 0));
constexpr Socket kNoSocket = static_cast<Socket>(-1);
#ifdef _WIN32
using socklen_t = int;
constexpr int kNoSignal = 0;
const bool kSocketsReady = [] { WSADATA data; return ::WSAStartup(MAKEWORD(2, 2), &data) == 0; }();
int Poll(pollfd& entry) { return ::WSAPoll(&entry, 1, 20); }
void Close(Socket socket) { ::closesocket(socket); }
#else
constexpr int kNoSignal = MSG_NOSIGNAL;
constexpr bool kSocketsReady = true;
int Poll(pollfd& entry) { return ::poll(&entry, 1, 20); }
void Close(Socket socket) { ::close(socket); }
#endif

Socket BoundSocket(std::uint16_t& port) {
    const Socket socket = kSocketsReady ? ::socket(AF_INET, SOCK_STREAM, 0) : kNoSocket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (socket == kNoSocket || ::bind(socket, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the test server cannot bind to 127.0.0.1");
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
    std::vector<RecordedRequest> requests;
    std::vector<std::thread> connections;  // one for each connection accepted
    std::thread acceptor;

    auto Locked(auto work) const { const std::lock_guard lock(mutex); return work(); }

    bool Readable(Socket socket) const {  // true once input (or its end) came; false when it failed or the server stops
        pollfd entry{socket, POLLIN, 0};
        while (!stopping && Poll(entry) <= 0) {}
        return !stopping && (entry.revents & (POLLERR | POLLNVAL)) == 0;
    }

    bool SendAll(Socket socket, std::string_view data) const {
        for (long long sent = 0; !data.empty(); data.remove_prefix(static_cast<std::size_t>(sent)))
            if ((sent = ::send(socket, data.data(), static_cast<int>(std::min<std::size_t>(data.size(), 1 << 20)), kNoSignal)) <= 0) return false;
        return true;
    }

    bool Respond(Socket socket, const CannedResponse& answer) const {  // true when the connection stays open
        if (answer.raw) { SendAll(socket, answer.body); return false; }
        const std::uint64_t size = answer.body.size() + answer.fillerBytes, end = std::min(size, answer.cutAfter.value_or(size));
        std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " Canned\r\nContent-Length: " +
                           std::to_string(answer.contentLength.value_or(size)) + "\r\n";
        if (!answer.location.empty()) head += "Location: " + answer.location + "\r\n";
        for (const std::string& header : answer.headers) head += header + "\r\n";
        // Head and body in one piece, as a quick server sends them, unless the body trickles; then the filler.
        const bool slow = answer.trickle > 0ms;
        std::uint64_t at = slow ? 0 : std::min<std::uint64_t>(end, answer.body.size());
        bool sent = SendAll(socket, head.append("\r\n").append(answer.body, 0, at));
        static const std::string kSpaces(64 * 1024, ' ');
        for (std::uint64_t step = 1; sent && at < end; at += step) {
            step = slow ? 1 : std::min<std::uint64_t>(end - at, kSpaces.size());
            const auto due = std::chrono::steady_clock::now() + answer.trickle;
            while (!stopping && std::chrono::steady_clock::now() < due) std::this_thread::sleep_for(20ms);
            sent = !stopping && SendAll(socket, at < answer.body.size() ? std::string_view(answer.body).substr(at, 1)
                                                                        : std::string_view(kSpaces).substr(0, step));
        }
        const linger abort{1, 0};  // closed without lingering, the connection is aborted: the client gets a reset
        if (sent && answer.reset) ::setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
        return sent && !answer.cutAfter;
    }

    void Serve(Socket socket) {
        for (std::string pending; true;) {
            const std::size_t end = pending.find("\r\n\r\n");
            if (end == std::string::npos) {  // more of the head, unless it is absurdly long or the client or server left
                char buffer[16 * 1024];
                const auto got = Readable(socket) ? ::recv(socket, buffer, static_cast<int>(sizeof buffer), 0) : 0;
                if (got <= 0 || pending.append(buffer, static_cast<std::size_t>(got)).size() > 64 * 1024) break;
                continue;
            }
            RecordedRequest request{.head = pending.substr(0, end + 2), .arrival = std::chrono::steady_clock::now()};
            pending.erase(0, end + 4);  // the clients send no request body
            std::istringstream(request.head) >> request.method >> request.target;
            const std::string target = request.target, path = target.substr(0, target.find('?'));
            const std::size_t number = Locked([&] { return requests.push_back(std::move(request)), requests.size() - 1; });
            while (!stopping && Locked([&] { return held.count(target) + held.count(path) > 0; })) std::this_thread::sleep_for(5ms);
            static const auto kMissing = std::make_shared<const CannedResponse>(404, "", "no such route\n");
            const auto answer = Locked([&] {
                const auto response = routes.count(target) ? routes.at(target) : routes.count(path) ? routes.at(path) : kMissing;
                requests[number].bodyBytes = response->body.size() + response->fillerBytes;
                return response;
            });
            if (!Respond(socket, *answer)) break;
        }
        Close(socket);
    }

    void AcceptLoop() {
        for (Socket socket; Readable(listener);) {
            if ((socket = ::accept(listener, nullptr, nullptr)) == kNoSocket) continue;
            const int noDelay = 1;  // small answers must not wait for the client's delayed acknowledgement
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
    state_->acceptor.join();  // then nothing adds to the connections any more
    for (std::thread& connection : state_->connections) connection.join();
    Close(state_->listener);
}

void HttpTestServer::Route(const std::string& target, CannedResponse response) {
    state_->Locked([&] { state_->routes[target] = std::make_shared<const CannedResponse>(std::move(response)); });
}
void HttpTestServer::Hold(const std::string& target) { state_->Locked([&] { state_->held.insert(target); }); }
void HttpTestServer::Release(const std::string& target) { state_->Locked([&] { state_->held.erase(target); }); }
std::string HttpTestServer::Address(std::string_view target) const {
    return "http://127.0.0.1:" + std::to_string(state_->port) + std::string(target);
}
std::size_t HttpTestServer::AcceptedConnections() const { return state_->Locked([&] { return state_->connections.size(); }); }
std::vector<RecordedRequest> HttpTestServer::Requests() const { return state_->Locked([&] { return state_->requests; }); }

std::uint16_t ClosedPort() { std::uint16_t port = 0; Close(BoundSocket(port)); return port; }

}  // namespace veltrano::testing
