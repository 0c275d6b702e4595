// What the fuzz targets share: the parts of the program they drive, a check that aborts in every build, scratch files.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "test_support.h"
#include "crawl/crawl_start.h"
#include "parse/capture_scan.h"
#include "parse/html_links.h"
#include "parse/html_tokenizer.h"
#include "parse/page_parser.h"
#include "parse/robots.h"
#include "parse/url_resolve.h"
#include "project/project_store.h"
#include "text/text_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

#define FUZZ_CHECK(cond) \
    ((cond) ? void() : (std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond), std::abort()))

#define FUZZ_TARGET(input)                                                              \
    static void FuzzOne(std::string_view input);                                       \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        return FuzzOne({reinterpret_cast<const char*>(data), size}), 0;                \
    }                                                                                  \
    static void FuzzOne(std::string_view input)

using namespace veltrano;  // the targets drive the program's own code and nothing else

namespace veltrano::fuzz {

inline std::pair<std::string_view, std::string_view> FirstLine(std::string_view input) {
    const std::size_t feed = input.find('\n');
    return {input.substr(0, feed), feed == input.npos ? std::string_view() : input.substr(feed + 1)};
}

// A crawl's state as its start leaves it for a page of `site` read at `base` (too large for the stack).
inline std::unique_ptr<AppState> CrawlState(View& view, const std::string& site, std::string_view base, int mode) {
    auto state = std::make_unique<AppState>();
    std::tie(state->view, state->siteAddress, state->siteKey, state->pageBaseAddress, state->grabMode) =
        std::tuple(&view, site, SiteKey(site), base, mode);
    return state;
}

inline std::string Folded(std::string text) {
    for (char& c : text) c = static_cast<char>(FoldUpper(static_cast<unsigned char>(c)));
    return text;
}

// The path of `name` in a folder of this process's own, removed at exit; written with `bytes` if given.
inline std::string ScratchFile(std::string_view name, std::optional<std::string_view> bytes = std::nullopt) {
    static const struct Folder {
        std::string path = (std::filesystem::temp_directory_path() / "veltrano-fuzz-XXXXXX").string();
        Folder() { FUZZ_CHECK(mkdtemp(path.data())); }
        ~Folder() { std::error_code ignored; std::filesystem::remove_all(path, ignored); }
    } folder;
    const std::string path = folder.path + "/" + std::string(name);
    if (bytes) FUZZ_CHECK(std::ofstream(path, std::ios::binary).write(bytes->data(), std::ssize(*bytes)).flush());
    return path;
}

}  // namespace veltrano::fuzz
