// The tests' HTTP/1.1 server on 127.0.0.1, at a port the system picks, on Linux and Windows (also Wine): it answers from
// canned routes over kept-alive connections, records what it was asked, can misbehave, and joins its threads when destroyed.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::testing {

struct CannedResponse {
    int status = 200;
    std::string location{};  // sent as a Location header unless empty
    std::string body{};
    std::vector<std::string> headers{};  // further header lines, such as "Content-Encoding: gzip"
    std::optional<std::uint64_t> contentLength{};  // announced instead of the true length
    std::uint64_t fillerBytes = 0;  // spaces after `body`, made while sent: a huge body costs no memory
    std::optional<std::uint64_t> cutAfter{};  // body bytes sent before the connection closes
    bool reset = false;  // that close is a reset (RST)
    std::chrono::milliseconds trickle{0};  // the pause before each body byte; hours for a stall
    bool raw = false;  // `body` is the whole answer, head included, and the connection then closes
};

struct RecordedRequest {
    std::string method{}, target{}, head{};  // the target as on the request line; the head's lines each end with CR LF
    std::chrono::steady_clock::time_point arrival;
    std::optional<std::uint64_t> bodyBytes{};  // the answer's body size, once it goes out
};

// A target is answered from its route, or its path's when it has a query, else with a 404; held ones wait until released.
class HttpTestServer {
public:
    HttpTestServer();  // throws std::runtime_error
    ~HttpTestServer();  // not copied: it owns threads
    void Route(const std::string& target, CannedResponse response);
    void Hold(const std::string& target);
    void Release(const std::string& target);
    std::string Address(std::string_view target) const;  // "http://127.0.0.1:<port>" and `target`
    std::size_t AcceptedConnections() const;
    std::vector<RecordedRequest> Requests() const;  // in arrival order

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A port on 127.0.0.1 bound a moment ago and closed again: connections to it are refused.
std::uint16_t ClosedPort();

}  // namespace veltrano::testing
