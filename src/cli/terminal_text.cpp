#include "cli/terminal_text.h"

#include <array>
#include <cstdio>

namespace veltrano {
namespace {

struct Rewording {
    std::string_view desktop;
    std::string_view terminal;
    bool wholeText;  // else a prefix, the rest of the message kept
};

constexpr std::array<Rewording, 11> kRewordings = {{
    {"This project is completed. For start new select menu items Project -> New.",
     "This project is complete. To crawl its site again from the start, add --new.", true},
    {"Please enter a Web Site address", "No web site to crawl: give it as SITE (see --help).", true},
    {"Please enter a custom pattern for grab", "The custom grab mode needs a text pattern: add one with -p.", true},
    {"List box error. Not enough memory!", "Out of memory: the page or result list cannot grow.", true},
    {"Error. Not enough memory!", "Out of memory: a file is too large to read.", true},
    {"Error! Not enough memory", "Out of memory: the page is too large to read.", true},
    {"Error open tmp file: ", "cannot store the page here: ", false},
    {"Error open file for write: ", "cannot write ", false},
    {"Error write to file. May be disk is full. ", "cannot write ", false},
    {"Error open file: ", "cannot read ", false},
    {"Error read tmp file", "cannot read the page file back", true},
}};

}  // namespace

std::string TerminalWording(std::string_view message) {
    for (const Rewording& entry : kRewordings) {
        if (entry.wholeText ? message == entry.desktop : message.substr(0, entry.desktop.size()) == entry.desktop) {
            return std::string(entry.terminal) + std::string(message.substr(entry.desktop.size()));
        }
    }
    // "Pattern number N is invalid. See more info in User Manual"
    constexpr std::string_view kManual = "See more info in User Manual";
    if (message.size() > kManual.size() && message.substr(message.size() - kManual.size()) == kManual) {
        return std::string(message.substr(0, message.size() - kManual.size())) +
               "A pattern needs at least three tokens: see \"Text patterns\" in the README, or the help page named by --help.";
    }
    return std::string(message);
}

std::string_view FailureMeaning(std::string_view status) {
    struct Meaning {
        std::string_view status;
        std::string_view meaning;
    };
    static constexpr Meaning kMeanings[] = {
        {"INET_E_RESOURCE_NOT_FOUND", "the host name is not known"},
        {"INET_E_CANNOT_CONNECT", "the server could not be reached or refused the connection"},
        {"INET_E_OBJECT_NOT_FOUND", "the server has no such page"},
        {"INET_E_AUTHENTICATION_REQUIRED", "the page needs a login"},
        {"INET_E_CONNECTION_TIMEOUT", "the server took too long"},
        {"INET_E_INVALID_URL", "the address is not valid"},
        {"INET_E_UNKNOWN_PROTOCOL", "only http and https addresses are fetched"},
        {"INET_E_SECURITY_PROBLEM", "the secure connection failed"},
        {"INET_E_REDIRECT_FAILED", "too many redirects, or a redirect elsewhere than http or https"},
        {"INET_E_DOWNLOAD_FAILURE", "the transfer failed or the server answered with an error"},
        {"E_OUTOFMEMORY", "out of memory"},
    };
    for (const Meaning& entry : kMeanings) {
        if (entry.status == status) return entry.meaning;
    }
    return "the download failed";
}

std::string EscapeControls(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            shown += escape;
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace veltrano
