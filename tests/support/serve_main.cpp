// test-http-server: the tests' HTTP server for scripts (tests/support/test_server.py).
// It prints its port, then answers one command per line of standard input,
// and stops at the end of its input. Words are separated by one blank and
// percent-encoded where they could hold blanks, line ends or other bytes.
//   route TARGET STATUS BODY [HEADER...]   redirect TARGET STATUS LOCATION
//   hold TARGET   release TARGET   folder PATH   clear-log
//   log    a line "SECONDS METHOD TARGET HOST CLIENT BODY-BYTES" for each
//          request since the last clear-log, in arrival order (seconds since
//          the start, body bytes "-" until the answer goes out)
// Each reply ends with a line "ok", or is one line "error WHY".
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <stdexcept>
#include <sstream>
#include <string>
#include <vector>

#include "http_test_server.h"

namespace {

std::string Decoded(const std::string& word) {
    std::string text;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const bool escape = word[i] == '%' && i + 2 < word.size() && std::isxdigit(static_cast<unsigned char>(word[i + 1])) &&
                            std::isxdigit(static_cast<unsigned char>(word[i + 2]));
        text += escape ? static_cast<char>(std::stoi(word.substr(i + 1, 2), nullptr, 16)) : word[i];
        if (escape) i += 2;
    }
    return text;
}

std::string Encoded(const std::string& text) {
    std::string word;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        char escape[4];
        std::snprintf(escape, sizeof escape, "%%%02X", byte);
        word += byte <= ' ' || byte >= 0x7F || c == '%' ? std::string(escape) : std::string(1, c);
    }
    return word;
}

}  // namespace

int main() {
    using veltrano::testing::CannedResponse;
    const auto started = std::chrono::steady_clock::now();
    veltrano::testing::HttpTestServer server;
    const std::string base = server.Address("");
    std::cout << base.substr(base.rfind(':') + 1) << std::endl << std::fixed << std::setprecision(6);
    for (std::string line; std::getline(std::cin, line);) {
        std::vector<std::string> words;
        std::istringstream split(line);
        for (std::string word; std::getline(split, word, ' ');) words.push_back(Decoded(word));
        words.resize(std::max<std::size_t>(words.size(), 4));
        const std::string& command = words[0];
        try {
            if (command == "route") {
                CannedResponse response;
                response.status = std::stoi(words[2]);
                response.body = words[3];
                response.headers.assign(words.begin() + 4, words.end());
                server.Route(words[1], response);
            } else if (command == "redirect") {
                server.Redirect(words[1], std::stoi(words[2]), words[3]);
            } else if (command == "hold" || command == "release") {
                command == "hold" ? server.Hold(words[1]) : server.Release(words[1]);
            } else if (command == "folder") {
                server.ServeFolder(words[1]);
            } else if (command == "clear-log") {
                server.ClearRequests();
            } else if (command == "log") {
                for (const auto& request : server.Requests()) {
                    const std::chrono::duration<double> time = request.arrival - started;
                    const auto host = request.headers.find("host");
                    std::cout << time.count() << ' ' << Encoded(request.method) << ' ' << Encoded(request.target) << ' '
                              << Encoded(host == request.headers.end() ? "" : host->second) << ' ' << request.client << ' '
                              << (request.bodyBytes ? std::to_string(*request.bodyBytes) : "-") << '\n';
                }
            } else {
                throw std::invalid_argument("unknown command " + Encoded(command));
            }
            std::cout << "ok" << std::endl;
        } catch (const std::exception& error) {
            std::cout << "error " << error.what() << std::endl;
        }
    }
}
