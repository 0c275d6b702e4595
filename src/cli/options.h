// The command line of the terminal crawler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltrano {

struct CliOptions {
    std::optional<std::string> site;
    std::optional<int> grabMode;  // 0 links, 1 custom, 2 all links (--thorough)
    std::vector<std::string> extensions;
    std::vector<std::string> presets;
    std::vector<std::string> patterns;
    std::optional<std::string> skipMask;
    std::optional<std::string> project;
    std::optional<std::string> output;
    bool fresh = false;
    std::optional<std::size_t> maxPages;
    std::optional<std::uint64_t> pageTimeoutSeconds;
    std::optional<std::uint64_t> maxPageBytes;
    std::size_t connections = 4;
    std::uint64_t waitMilliseconds = 0;
    bool robots = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    std::optional<CliOptions> options;  // nothing when the command line is wrong
    std::string error;                  // what was wrong
};

ParsedOptions ParseOptions(int argc, char** argv);
const char* UsageText();

}  // namespace veltrano
