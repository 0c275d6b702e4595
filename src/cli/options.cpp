#include "cli/options.h"

#include <getopt.h>

#include <cstdint>
#include <limits>
#include <optional>

#include "crawl/presets.h"

// The folder of the HTML help pages, set by the build.
#ifndef VELTRANO_HELP_DIR
#error "VELTRANO_HELP_DIR (the folder of the help pages) must be defined"
#endif

namespace veltrano {
namespace {

enum LongOnly { kPreset = 1000, kNew, kMaxPages, kPageTimeout, kMaxPageSize, kWait, kRobots };

// Seconds given as plain digits with at most three decimals ("0.5", "2"),
// as milliseconds; at most an hour.
std::optional<std::uint64_t> Milliseconds(const std::string& text) {
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    if (whole.empty() || whole.size() > 4 || fraction.size() > 3 || (point != std::string::npos && fraction.empty()) ||
        (whole + fraction).find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    fraction.resize(3, '0');
    const std::uint64_t value = std::stoull(whole) * 1000 + std::stoull(fraction);
    if (value > 3600 * 1000) return std::nullopt;
    return value;
}

// A number given as plain decimal digits within [low, high]; nothing else
// (no sign, blank, unit or trailing text) is a number here.
std::optional<std::uint64_t> Count(const std::string& text, std::uint64_t low, std::uint64_t high) {
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    std::uint64_t value = 0;
    for (const char digit : text) {
        const std::uint64_t next = value * 10 + static_cast<std::uint64_t>(digit - '0');
        if (value > high || next < value) return std::nullopt;
        value = next;
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

// "jpg,png , gif" gives jpg, png and gif; empty pieces are dropped.
void AddCommaSeparated(std::vector<std::string>& out, const std::string& text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        std::string piece = text.substr(start, comma - start);
        const std::size_t first = piece.find_first_not_of(" \t");
        if (first != std::string::npos) out.push_back(piece.substr(first, piece.find_last_not_of(" \t") - first + 1));
        start = comma + 1;
    }
}

// The option as the user wrote it: "-Z" for a short one (also inside a
// cluster such as "-Zq"), "--name" for a long one.
std::string WrittenOption(const char* argument, int shortOption) {
    const std::string text = argument != nullptr ? argument : "";
    if (text.rfind("--", 0) == 0) return text.substr(0, text.find('='));
    return std::string("-") + static_cast<char>(shortOption);
}

}  // namespace

const char* UsageText() {
    return "usage: veltrano [OPTIONS] [SITE]\n"
           "Walks one web site breadth-first and collects links or texts from its pages.\n"
           "\n"
           "  SITE                 the web site address, as typed into \"Web site:\"\n"
           "  -g, --grab MODE      links (default), custom, or all (the same as --thorough)\n"
           "  -T, --thorough       read pages as a browser does: follow <a>, <area> and frame links in\n"
           "                       any markup, and take every address a page uses (images, srcset,\n"
           "                       styles, scripts) as a result, filtered by the extensions\n"
           "  -e, --ext EXT        add link extensions (repeatable; commas separate several)\n"
           "      --preset NAME    add a preset group: html, image, music, torrent, video, xml, html-link\n"
           "  -p, --pattern TEXT   add a text pattern (repeatable)\n"
           "  -s, --skip MASK      the skip page mask\n"
           "  -P, --project NAME   load project NAME from ./Projects if it exists; save it there when the crawl stops\n"
           "  -o, --output FILE    save the result list to FILE when the crawl stops\n"
           "      --new            start a loaded project afresh (New project) before crawling\n"
           "      --max-pages N    pause after N pages have been processed in this run\n"
           "      --page-timeout S give up a page not complete after S seconds (default 300)\n"
           "      --max-page-size B  keep at most B bytes of a page (default 67108864, 64 MiB)\n"
           "  -c, --connections N  download up to N pages at once, 1 to 16 (default 4); pages are\n"
           "                       still processed in order, so the results are those of -c 1\n"
           "      --wait S         at least S seconds (decimals allowed) between the starts of two requests\n"
           "      --robots         obey the site's robots.txt; forbidden pages get DISALLOWED\n"
           "  -q, --quiet          no progress display\n"
           "  -h, --help           show this help\n"
           "  -V, --version        show the version\n"
           "\n"
           "SITE without a scheme is taken as http://SITE. Results go to standard output, one per\n"
           "line, as they are found; failed pages are reported on standard error (unless -q).\n"
           "Ctrl-C (or SIGTERM, SIGHUP, a closed standard output) stops at once and saves; the page\n"
           "in flight is fetched again when the project is continued. A second Ctrl-C quits at once.\n"
           "Exit status: 0 complete, 3 stopped before the end, 4 complete but not one page could be\n"
           "downloaded, 2 bad usage or refused, 1 other failure.\n"
           "Help: text patterns in " VELTRANO_HELP_DIR "/patterns.html, the user manual in " VELTRANO_HELP_DIR
           "/index.html\n";
}

ParsedOptions ParseOptions(int argc, char** argv) {
    static const option kLong[] = {
        {"grab", required_argument, nullptr, 'g'},   {"ext", required_argument, nullptr, 'e'},
        {"preset", required_argument, nullptr, kPreset}, {"pattern", required_argument, nullptr, 'p'},
        {"skip", required_argument, nullptr, 's'},   {"project", required_argument, nullptr, 'P'},
        {"output", required_argument, nullptr, 'o'}, {"new", no_argument, nullptr, kNew},
        {"max-pages", required_argument, nullptr, kMaxPages}, {"quiet", no_argument, nullptr, 'q'},
        {"page-timeout", required_argument, nullptr, kPageTimeout},
        {"max-page-size", required_argument, nullptr, kMaxPageSize},
        {"connections", required_argument, nullptr, 'c'}, {"wait", required_argument, nullptr, kWait},
        {"robots", no_argument, nullptr, kRobots}, {"thorough", no_argument, nullptr, 'T'},
        {"help", no_argument, nullptr, 'h'},         {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    CliOptions options;
    opterr = 0;
    optind = 1;
    for (int code; (code = getopt_long(argc, argv, ":g:e:p:s:P:o:c:qhTV", kLong, nullptr)) != -1;) {
        const std::string value = optarg ? optarg : "";
        switch (code) {
            case 'g':
                if (value == "links") {
                    options.grabMode = 0;
                } else if (value == "custom") {
                    options.grabMode = 1;
                } else if (value == "all") {
                    options.grabMode = 2;
                } else {
                    return {std::nullopt, "unknown grab mode '" + value + "' (links, custom or all)"};
                }
                break;
            case 'T': options.grabMode = 2; break;
            case 'e': AddCommaSeparated(options.extensions, value); break;
            case kPreset:
                if (!FindPresetGroup(value)) return {std::nullopt, "unknown preset '" + value + "'"};
                options.presets.push_back(value);
                break;
            case 'p': options.patterns.push_back(value); break;
            case 's': options.skipMask = value; break;
            case 'P': options.project = value; break;
            case 'o': options.output = value; break;
            case kNew: options.fresh = true; break;
            case kMaxPages: {
                const auto pages = Count(value, 1, std::numeric_limits<std::size_t>::max());
                if (!pages) return {std::nullopt, "--max-pages takes a number of pages, 1 or more, in plain digits"};
                options.maxPages = static_cast<std::size_t>(*pages);
                break;
            }
            case kPageTimeout:
                options.pageTimeoutSeconds = Count(value, 1, 24 * 60 * 60);
                if (!options.pageTimeoutSeconds) {
                    return {std::nullopt, "--page-timeout takes seconds from 1 to 86400, in plain digits"};
                }
                break;
            case kMaxPageSize:
                options.maxPageBytes = Count(value, 1, std::uint64_t{1} << 40);
                if (!options.maxPageBytes) {
                    return {std::nullopt, "--max-page-size takes bytes from 1 to 1099511627776, in plain digits"};
                }
                break;
            case 'c': {
                const auto connections = Count(value, 1, 16);
                if (!connections) return {std::nullopt, "-c takes a number of connections from 1 to 16, in plain digits"};
                options.connections = static_cast<std::size_t>(*connections);
                break;
            }
            case kWait: {
                const auto wait = Milliseconds(value);
                if (!wait) return {std::nullopt, "--wait takes seconds from 0 to 3600, such as 1 or 0.25"};
                options.waitMilliseconds = *wait;
                break;
            }
            case kRobots: options.robots = true; break;
            case 'q': options.quiet = true; break;
            case 'h': options.help = true; break;
            case 'V': options.version = true; break;
            // A short option is named by optopt; a long one, which sets it to 0
            // when unknown, by the argument getopt has just passed.
            case ':': return {std::nullopt, "option " + WrittenOption(argv[optind - 1], optopt) + " needs a value"};
            default:
                return {std::nullopt,
                        "unknown option " + (optopt != 0 ? std::string("-") + static_cast<char>(optopt)
                                                         : WrittenOption(argv[optind - 1], 0))};
        }
    }
    if (optind < argc) options.site = argv[optind++];
    if (optind < argc) return {std::nullopt, std::string("unexpected argument '") + argv[optind] + "'"};
    if (options.fresh && !options.project) return {std::nullopt, "--new needs a project (-P NAME)"};
    return {options, {}};
}

}  // namespace veltrano
