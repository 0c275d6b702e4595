#include "parse/capture_scan.h"

#include <cstring>

#include "text/text_ops.h"

namespace veltrano {
namespace {

// Finds the next byte equal to `c`, ASCII letters folded, before `end`.
// For a letter the two cases are searched separately with memchr, and each
// position found is kept until the scan passes it, so that the text is
// read at most once per case however often the scan asks.
class ByteFinder {
public:
    ByteFinder(unsigned char c, std::string_view text, std::size_t end) : text_(text.data()), end_(end) {
        const unsigned char upper = FoldUpper(c);
        const bool letter = upper >= 'A' && upper <= 'Z';
        cases_[0] = static_cast<char>(upper);
        cases_[1] = static_cast<char>(letter ? upper + ('a' - 'A') : upper);
        caseCount_ = letter ? 2 : 1;
    }

    // The first position in [from, end) holding the byte, or end.
    std::size_t Next(std::size_t from) {
        std::size_t found = end_;
        for (std::size_t i = 0; i < caseCount_; ++i) {
            if (!searched_[i] || next_[i] < from) {
                searched_[i] = true;
                const void* hit = from < end_ ? std::memchr(text_ + from, cases_[i], end_ - from) : nullptr;
                next_[i] = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text_) : end_;
            }
            found = std::min(found, next_[i]);
        }
        return found;
    }

private:
    const char* text_;
    std::size_t end_;
    char cases_[2] = {};
    std::size_t caseCount_ = 1;
    std::size_t next_[2] = {0, 0};
    bool searched_[2] = {false, false};
};

struct Token {
    std::string_view text;
    bool needsBlankAfter;
};

// The token stands at `p`, followed by a blank if it needs one. A token
// that ends the text is not followed by a blank.
inline bool TokenAt(const Token& token, std::size_t p, std::string_view text) {
    if (token.text.empty() || !MatchAtNoCase(p, token.text, text)) return false;
    if (!token.needsBlankAfter) return true;
    const std::size_t after = p + token.text.size();
    return after < text.size() && IsBlank(static_cast<unsigned char>(text[after]));
}

}  // namespace

bool ScanCaptures(const CompiledPattern& pattern, std::string_view text, const CaptureSink& sink) {
    const auto& tokens = pattern.tokens;
    if (tokens[0].opensCapture || text.empty()) return true;

    std::size_t opener = 0;
    while (opener < kPatternTokenCount && !tokens[opener].opensCapture) ++opener;
    // Only the first 19 tokens are ever searched for, and a token with no
    // text never matches: such a pattern can never open a capture.
    if (opener + 1 >= kPatternTokenCount) return true;
    Token prefix[kPatternTokenCount];
    for (std::size_t i = 0; i <= opener; ++i) {
        prefix[i] = {tokens[i].Text(), tokens[i].needsBlankAfter};
        if (prefix[i].text.empty()) return true;
    }
    const Token closing{tokens[opener + 1].Text(), tokens[opener + 1].needsBlankAfter};

    const std::size_t n = text.size();
    ByteFinder firstTokenStart(static_cast<unsigned char>(prefix[0].text[0]), text, n);
    std::size_t p = 0;
    std::size_t matched = 0;  // tokens matched so far, in pattern order
    while (p < n) {
        if (matched == 0) {
            // Nothing has matched: every byte up to the next possible start
            // of the first token would only be passed over.
            p = firstTokenStart.Next(p);
            if (p == n) break;
        } else if (IsBlank(static_cast<unsigned char>(text[p]))) {
            ++p;
            continue;
        }
        const Token& token = prefix[matched];
        if (!TokenAt(token, p, text)) {
            matched = 0;
            ++p;  // the byte that broke the match is not tried again
            continue;
        }
        p += token.text.size();
        if (matched++ < opener) continue;

        // Capturing: up to the next closing token, at most 1023 bytes.
        matched = 0;
        const std::size_t start = p;
        const std::size_t last = std::min(n - 1, start + kCaptureMax);  // last position checked
        std::size_t close = n;
        if (!closing.text.empty() && start < n) {
            ByteFinder closingStart(static_cast<unsigned char>(closing.text[0]), text, last + 1);
            for (std::size_t q = closingStart.Next(start); q <= last; q = closingStart.Next(q + 1)) {
                if (TokenAt(closing, q, text)) {
                    close = q;
                    break;
                }
            }
        }
        if (close != n) {
            if (!sink(text.substr(start, close - start))) return false;
            p = close + 1;  // only the first byte of the closing token is passed over
        } else if (start + kCaptureMax < n) {
            if (!sink(text.substr(start, kCaptureMax))) return false;
            p = start + kCaptureMax + 1;
        } else {
            break;  // the text ended inside the capture: it is dropped
        }
    }
    return true;
}

}  // namespace veltrano
