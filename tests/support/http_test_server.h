// A small HTTP/1.1 server for the downloader's tests. It listens on
// 127.0.0.1 at a port the system picks, answers from canned routes, keeps
// connections alive, and records what it was asked. It is ready as soon
// as it is constructed, and stops (joining all its threads) when destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace veltrano::testing {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct CannedResponse {
    // How the response reaches the client.
    enum class Delivery {
        whole,  // headers and the whole body
        stall,  // headers and `bytesBeforeTrouble` body bytes, then silence
        cut,    // headers and `bytesBeforeTrouble` body bytes, then the connection closes
    };

    int status = 200;
    // Sent after the generated ones (Content-Length or Transfer-Encoding).
    HeaderList headers;
    std::string body;
    // The body goes out in pieces of this size, so that the client sees it
    // arrive in several parts; 0 sends it in one.
    std::size_t pieceSize = 0;
    // Sends the body with chunked transfer coding, without a length.
    bool chunked = false;
    Delivery delivery = Delivery::whole;
    std::size_t bytesBeforeTrouble = 0;
};

struct RecordedRequest {
    std::size_t connection = 0;  // accept order, from 0
    std::string method;
    std::string target;  // as it stood on the request line
    std::string version;
    HeaderList headers;

    // The value of the first header of this name (any case), or "".
    std::string Header(std::string_view name) const;
};

class HttpTestServer {
public:
    // Binds 127.0.0.1 port 0 and listens; throws std::system_error.
    HttpTestServer();
    ~HttpTestServer();

    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    // Answers requests whose target is exactly `target`; others get a 404.
    void Route(const std::string& target, CannedResponse response);
    void Redirect(const std::string& target, int status, const std::string& location);

    std::uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `target`.
    std::string Address(std::string_view target) const;

    std::size_t AcceptedConnections() const;
    std::vector<RecordedRequest> Requests() const;

    // Closes the listener and every connection and joins the threads.
    void Stop();

private:
    void AcceptLoop();
    void Serve(int socket, std::size_t connection);
    bool Respond(int socket, const CannedResponse& response, bool keepAlive);
    // Waits for `events` on `socket`; false once the server is stopping or
    // the socket failed.
    bool Await(int socket, short events) const;
    bool SendAll(int socket, std::string_view data) const;
    // Drops whatever the client still sends until it closes its side.
    void AwaitClientLeaving(int socket) const;

    int listener_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::uint16_t port_ = 0;

    mutable std::mutex mutex_;
    std::map<std::string, CannedResponse> routes_;
    std::vector<RecordedRequest> requests_;
    std::vector<std::thread> connections_;
    std::size_t accepted_ = 0;
    bool stopped_ = false;
    std::thread acceptThread_;
};

// A port on 127.0.0.1 that was bound a moment ago and is closed again, so
// that a connection to it is refused.
std::uint16_t ClosedPort();

// A listening socket on 127.0.0.1 whose accept queue is full, so that
// further connection attempts get no answer at all.
class SilentListener {
public:
    SilentListener();
    ~SilentListener();

    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    std::uint16_t Port() const { return port_; }

private:
    int listener_ = -1;
    int filler_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace veltrano::testing
