// A small HTTP/1.1 server for the downloader's tests. It listens on
// 127.0.0.1 at a port the system picks, answers from canned routes, keeps
// connections alive, and records what it was asked. It is ready as soon
// as it is constructed, and stops (joining all its threads) when destroyed.
// It builds for Linux and for Windows (Winsock 2, also under Wine).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace veltrano::testing {

struct CannedResponse {
    enum class Delivery {
        whole,  // head and whole body; the connection stays open
        stall,  // head only, then silence until the client gives up
        cut,    // head and `bytesBeforeCut` body bytes, then the connection closes
        trickle,  // head, then the body one byte every `trickleInterval`
        reset,  // head and `bytesBeforeCut` body bytes, then a reset (RST), no orderly close
        raw,    // `body` is the whole answer, head included, as it stands; then the connection closes
    };

    int status = 200;
    std::string location;  // sent as a Location header unless empty
    std::string body;
    Delivery delivery = Delivery::whole;
    std::size_t bytesBeforeCut = 0;
    std::chrono::milliseconds trickleInterval{150};
    // Further header lines without their line end, such as
    // "Content-Encoding: gzip" for a body that is compressed already.
    std::vector<std::string> headers{};
    // The Content-Length to announce instead of the true one, for a server
    // that lies about its length.
    std::optional<std::uint64_t> contentLength{};
    // This many spaces follow `body` and count in its length; they are made
    // while being sent, so that a huge body costs the server no memory.
    std::uint64_t fillerBytes = 0;
};

struct RecordedRequest {
    std::string method;
    std::string target;  // as it stood on the request line
    std::map<std::string, std::string> headers;  // names in small letters
    std::string client;  // the peer's address
    std::chrono::steady_clock::time_point arrival;
    std::optional<std::uint64_t> bodyBytes;  // the answer's body size, once it is sent
};

class HttpTestServer {
public:
    // Binds 127.0.0.1 port 0 and listens; throws std::system_error.
    HttpTestServer();
    ~HttpTestServer();

    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    // Answers requests whose target is exactly `target`, or whose path is
    // `target` when no route has the whole target with its query. Others
    // are answered from the folder of ServeFolder, or get a 404.
    void Route(const std::string& target, CannedResponse response);
    // Unrouted targets name files of `folder`; one ending in "/" its index.html.
    void ServeFolder(const std::string& folder);
    void Redirect(const std::string& target, int status, const std::string& location);

    // Answers to `target` (or to its path with any query) wait until it is
    // released or the server stops, so that a test can act while that page
    // is in flight.
    void Hold(const std::string& target);
    void Release(const std::string& target);

    // "http://127.0.0.1:<port>" followed by `target`.
    std::string Address(std::string_view target) const;

    std::size_t AcceptedConnections() const;
    std::vector<RecordedRequest> Requests() const;
    void ClearRequests();

private:
#ifdef _WIN32
    using Socket = std::uintptr_t;  // SOCKET, without pulling in the Windows headers
#else
    using Socket = int;
#endif
    static constexpr Socket kNoSocket = static_cast<Socket>(-1);

    // Keeps Winsock started while the server lives (a no-op elsewhere).
    // Declared before the sockets, so it outlives them; ClosedPort uses one too.
    struct SocketLibrary {
        SocketLibrary();
        ~SocketLibrary();
        SocketLibrary(const SocketLibrary&) = delete;
        SocketLibrary& operator=(const SocketLibrary&) = delete;
    };
    friend std::uint16_t ClosedPort();

    void AcceptLoop();
    bool IsHeld(const std::string& target) const;
    void Serve(Socket socket, std::string client);
    CannedResponse Lookup(const std::string& target) const;  // with the lock held
    // How a connection goes on after an answer.
    enum class Ending { keepOpen, close, reset };
    Ending Respond(Socket socket, const CannedResponse& response) const;
    // Sends `count` bytes of a response's filler.
    bool SendFiller(Socket socket, std::uint64_t count) const;
    // Waits for `events` on `socket`; false when the server stops or on failure.
    bool Await(Socket socket, short events) const;
    bool SendAll(Socket socket, std::string_view data) const;
    // Waits for `interval`; false when the server stops meanwhile.
    bool Pause(std::chrono::milliseconds interval) const;
    // Drops whatever the client still sends until it closes its side.
    void AwaitClientLeaving(Socket socket) const;

    SocketLibrary socketLibrary_;
    Socket listener_ = kNoSocket;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};  // every wait notices it within a few tens of ms

    mutable std::mutex mutex_;
    std::map<std::string, CannedResponse> routes_;
    std::set<std::string> held_;
    std::string folder_;
    std::vector<RecordedRequest> requests_;
    std::size_t cleared_ = 0;  // requests dropped from the front of requests_
    std::vector<std::thread> connections_;
    std::size_t accepted_ = 0;
    std::thread acceptThread_;
};

// A port on 127.0.0.1 that was bound a moment ago and is closed again, so
// that a connection to it is refused.
std::uint16_t ClosedPort();

}  // namespace veltrano::testing
