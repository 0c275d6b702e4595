// Scanning speed of the parser's page runs: each file is read whole, then
// both built-in link patterns run over it exactly as a page run of the
// parser does (link mode, page extension table, site filter, page list).
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "parse/page_parser.h"
#include "state/app_state.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: parse-bench FILE...\n");
        return 2;
    }
    veltrano::AppState state;
    state.siteAddress = "http://www.example.com";
    state.siteKey = "example.com";
    state.pageBaseAddress = "http://www.example.com/docs/index.html";

    double seconds = 0;
    double bytes = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "parse-bench: cannot read %s\n", argv[i]);
            return 1;
        }
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (const veltrano::CompiledPattern& pattern : state.linkPatterns) {
            const auto start = std::chrono::steady_clock::now();
            veltrano::ScanPattern(state.pageExtensions, state.siteKey, state, text, true, veltrano::ListTarget::pages,
                                  pattern);
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            bytes += static_cast<double>(text.size());
        }
    }
    std::printf("pages found: %zu\n", state.pageList.Count());
    std::printf("scan: %.1f MB/s\n", seconds > 0 ? bytes / 1e6 / seconds : 0.0);
    return 0;
}
