// test-http-server: the tests' HTTP server for Python tests (support/test_server.py).
// It prints its port, then answers one command per line of its input, and
// stops at the end of it. Words are separated by one blank; %XX in a word
// stands for that byte.
//   route TARGET STATUS BODY [HEADER...]   redirect TARGET STATUS LOCATION
//   hold TARGET   release TARGET   folder PATH   clear-log
//   log   a line "SECONDS METHOD TARGET CLIENT BODY-BYTES HOST" for each request since
//         the last clear-log, in arrival order: seconds since the start, "-" for the
//         body bytes until the answer goes out
// Each reply ends with a line "ok", or is one line "error WHY".
#include <algorithm>
#include <cctype>
#include <chrono>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "http_test_server.h"

namespace {

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream split(line);
    for (std::string word, text; std::getline(split, word, ' '); words.push_back(text), text.clear()) {
        for (std::size_t i = 0; i < word.size(); ++i) {
            const bool escape = word[i] == '%' && i + 2 < word.size() && std::isxdigit(static_cast<unsigned char>(word[i + 1])) &&
                                std::isxdigit(static_cast<unsigned char>(word[i + 2]));
            text += escape ? static_cast<char>(std::stoi(word.substr(i + 1, 2), nullptr, 16)) : word[i];
            i += escape ? 2 : 0;
        }
    }
    words.resize(std::max<std::size_t>(words.size(), 4));  // an empty last word may go unseen
    return words;
}

}  // namespace

int main() {
    const auto started = std::chrono::steady_clock::now();
    veltrano::testing::HttpTestServer server;
    const std::string base = server.Address("");
    std::cout << base.substr(base.rfind(':') + 1) << std::endl << std::fixed << std::setprecision(6);
    for (std::string line; std::getline(std::cin, line);) {
        const std::vector<std::string> words = Words(line);
        try {
            if (words[0] == "route") {
                veltrano::testing::CannedResponse response{std::stoi(words[2]), "", words[3]};
                response.headers.assign(words.begin() + 4, words.end());
                server.Route(words[1], response);
            } else if (words[0] == "redirect") {
                server.Redirect(words[1], std::stoi(words[2]), words[3]);
            } else if (words[0] == "hold" || words[0] == "release") {
                words[0] == "hold" ? server.Hold(words[1]) : server.Release(words[1]);
            } else if (words[0] == "folder") {
                server.ServeFolder(words[1]);
            } else if (words[0] == "clear-log") {
                server.ClearRequests();
            } else if (words[0] == "log") {
                for (const auto& request : server.Requests()) {
                    const auto host = request.headers.find("host");
                    std::cout << std::chrono::duration<double>(request.arrival - started).count() << ' ' << request.method
                              << ' ' << request.target << ' ' << request.client << ' '
                              << (request.bodyBytes ? std::to_string(*request.bodyBytes) : "-") << ' '
                              << (host == request.headers.end() ? "" : host->second) << '\n';
                }
            } else {
                throw std::invalid_argument("unknown command");
            }
            std::cout << "ok" << std::endl;
        } catch (const std::exception& error) {
            std::cout << "error " << error.what() << std::endl;
        }
    }
}
