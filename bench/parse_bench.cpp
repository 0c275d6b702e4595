// Scanning speed of the parser's page runs: each file is read whole, then
// both built-in link patterns run over it exactly as a page run of the
// parser does (link mode, page extension table, site filter, page list).
//
// With --tokenizer, the files are cut into pages at each "<!DOCTYPE html>"
// instead and each page goes through ReadHtmlLinks, as a page of a thorough
// crawl does; the last line is then "tokenizer: <MB/s> MB/s" (bytes of all
// pages / time in ReadHtmlLinks). --dump (with --tokenizer) prints every
// page's base, page links and resources, in the format of gumbo-bench --dump.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "parse/html_links.h"
#include "parse/page_parser.h"
#include "state/app_state.h"

namespace {

bool ReadWhole(const char* path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "parse-bench: cannot read %s\n", path);
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Page boundaries: every "<!DOCTYPE html>" after the first non-blank byte
// starts a page (and the file's start does). gumbo-bench cuts the same way.
std::vector<std::string_view> SplitPages(std::string_view text) {
    std::vector<std::string_view> pages;
    static constexpr std::string_view kMark = "<!DOCTYPE html>";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t from = start;
        while (from < text.size() && IsBlank(text[from])) ++from;
        std::size_t next = text.find(kMark, from + 1);
        if (next == std::string_view::npos) next = text.size();
        pages.push_back(text.substr(start, next - start));
        start = next;
    }
    return pages;
}

int RunTokenizer(const std::vector<const char*>& files, bool dump) {
    double seconds = 0;
    double bytes = 0;
    std::size_t pageCount = 0;
    std::size_t pageLinks = 0;
    std::size_t resources = 0;
    std::string text;
    for (const char* path : files) {
        if (!ReadWhole(path, text)) return 1;
        for (const std::string_view page : SplitPages(text)) {
            const auto start = std::chrono::steady_clock::now();
            const veltrano::HtmlLinks links = veltrano::ReadHtmlLinks(page);
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            bytes += static_cast<double>(page.size());
            pageLinks += links.pages.size();
            resources += links.resources.size();
            if (dump) {
                std::printf("# page %zu\n", pageCount);
                if (!links.base.empty()) std::printf("base %s\n", links.base.c_str());
                for (const std::string& address : links.pages) std::printf("page %s\n", address.c_str());
                for (const std::string& address : links.resources) std::printf("res %s\n", address.c_str());
            }
            ++pageCount;
        }
    }
    std::printf("pages: %zu\n", pageCount);
    std::printf("page links: %zu\n", pageLinks);
    std::printf("resources: %zu\n", resources);
    std::printf("tokenizer: %.1f MB/s\n", seconds > 0 ? bytes / 1e6 / seconds : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool tokenizer = false;
    bool dump = false;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tokenizer") == 0) {
            tokenizer = true;
        } else if (std::strcmp(argv[i], "--dump") == 0) {
            dump = true;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty() || (dump && !tokenizer)) {
        std::fprintf(stderr, "usage: parse-bench FILE...\n       parse-bench --tokenizer [--dump] FILE...\n");
        return 2;
    }
    if (tokenizer) return RunTokenizer(files, dump);

    veltrano::AppState state;
    state.siteAddress = "http://www.example.com";
    state.siteKey = "example.com";
    state.pageBaseAddress = "http://www.example.com/docs/index.html";

    double seconds = 0;
    double bytes = 0;
    std::string text;
    for (const char* path : files) {
        if (!ReadWhole(path, text)) return 1;
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
