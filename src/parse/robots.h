// A site's robots.txt as RFC 9309 reads it, for one crawler: which of the
// site's addresses that crawler may fetch. Pure text work; the fetching of
// the file is the caller's.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano {

// The rules of one robots.txt for one crawler.
//
// Paths are compared octet by octet, case kept, after both the rule's
// pattern and the address are brought to one spelling: "%XX" of an
// unreserved character (letters, digits, "-", ".", "_", "~") becomes the
// character, any other "%xx" gets upper-case hex digits and stays encoded
// (so "%2F" is never "/"), and octets outside printable ASCII (controls,
// space, UTF-8) are percent-encoded.
class RobotsRules {
public:
    static RobotsRules AllowAll();
    static RobotsRules DisallowAll();

    // The rules of the file's text for the user agent `agent`, a product
    // token such as "Veltrano": the groups naming it (case-insensitive),
    // else the groups of "*", else none (everything allowed). A group names
    // the agent when its user-agent value begins with the token and goes on
    // with no further token character, as in "Veltrano/1.0"; "VeltranoBot"
    // is another crawler. Only the first 500 KiB of the text count, and of
    // the rules for the agent the first 2,000.
    static RobotsRules Parse(std::string_view text, std::string_view agent);

    // The rules that the answer to the robots.txt request gives: 2xx ->
    // Parse(body); 4xx, and a 3xx left over when redirects ran out (the file
    // is unavailable) -> AllowAll; 5xx, no answer at all (status 0:
    // unreachable, timed out) and anything else -> DisallowAll.
    static RobotsRules FromAnswer(int httpStatus, std::string_view body, std::string_view agent);

    // Whether the address may be fetched. Only its path (an absent path is
    // "/") and query count; a bare path with or without a query is taken
    // too. "/robots.txt" itself is always allowed.
    bool Allowed(std::string_view address) const;

private:
    struct Rule {
        std::string pattern;   // normalised, without the end anchor
        bool anchored = false; // the pattern ended in "$"
        bool allow = false;
        std::size_t length = 0;  // octets of the normalised pattern, "$" included
    };

    std::vector<Rule> rules_;
};

// "scheme://host[:port]" of an address: scheme and host lower-cased, user
// information dropped, the port kept unless it is empty or the scheme's
// default (80 for http, 443 for https). Empty when the address has no host.
std::string RobotsOrigin(std::string_view address);

// The robots.txt address that governs `address`, or empty when it has no host.
std::string RobotsAddress(std::string_view address);

}  // namespace veltrano
