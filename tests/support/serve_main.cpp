// test-http-server, for support/test_server.py: prints its port, then obeys a command a line until its input ends, answering
// "ok" after any output, or "error WHY". Words are split at single blanks; %XX stands for that byte. Commands: route TARGET
// STATUS BODY [HEADER...], hold TARGET, release TARGET, clear-log, and log: a line "SECONDS TARGET BODY-BYTES"
// for each request since the last clear-log, in arrival order, with body bytes "-" until the answer goes out.
#include <algorithm>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "http_test_server.h"

int main() {
    const auto started = std::chrono::steady_clock::now();
    veltrano::testing::HttpTestServer server;
    std::size_t cleared = 0;  // requests before the last clear-log
    std::cout << server.Address("").substr(std::string_view("http://127.0.0.1:").size()) << std::endl << std::fixed;
    for (std::string line; std::getline(std::cin, line);) {
        try {
            std::vector<std::string> w;
            std::istringstream split(line);
            for (std::string word; std::getline(split, word, ' '); w.push_back(word))
                for (std::size_t i = 0; (i = word.find('%', i)) != std::string::npos; ++i)
                    word.replace(i, 3, 1, static_cast<char>(std::stoi(word.substr(i + 1, 2), nullptr, 16)));
            w.resize(std::max<std::size_t>(w.size(), 4));  // an empty last word goes unseen
            if (w[0] == "route") server.Route(w[1], {std::stoi(w[2]), "", w[3], {w.begin() + 4, w.end()}});
            else if (w[0] == "hold") server.Hold(w[1]);
            else if (w[0] == "release") server.Release(w[1]);
            else if (w[0] == "clear-log") cleared = server.Requests().size();
            else if (w[0] != "log") throw std::invalid_argument("unknown command");
            const auto requests = server.Requests();
            for (std::size_t i = cleared; w[0] == "log" && i < requests.size(); ++i) {
                std::cout << std::chrono::duration<double>(requests[i].arrival - started).count() << ' ' << requests[i].target << ' '
                          << (requests[i].bodyBytes ? std::to_string(*requests[i].bodyBytes) : "-") << '\n';
            }
            std::cout << "ok" << std::endl;
        } catch (const std::exception& error) {
            std::cout << "error " << error.what() << std::endl;
        }
    }
}
