#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <string>
#include <vector>

#include "parse/capture_scan.h"
#include "text/pattern.h"

namespace veltrano {
namespace {

using Captures = std::vector<std::string>;

Captures Scan(std::string_view patternText, std::string_view text) {
    CompiledPattern pattern;
    CompilePattern(pattern, patternText);
    Captures captures;
    EXPECT_TRUE(ScanCaptures(pattern, text, [&](std::string_view c) {
        captures.emplace_back(c);
        return true;
    }));
    return captures;
}

// The scan rules taken literally, one byte at a time, with the matched
// flags of the working copy: the yardstick for the fast scanner.
Captures PlainScan(CompiledPattern pattern, std::string_view text) {
    Captures captures;
    auto& tokens = pattern.tokens;
    if (tokens[0].opensCapture || text.empty()) return captures;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    const auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    const auto matches = [&](const PatternToken& token, std::size_t at) {
        const std::string_view t = token.Text();
        if (t.empty()) return false;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (at + i >= text.size() || fold(text[at + i]) != fold(t[i])) return false;
        }
        if (!token.needsBlankAfter) return true;
        return at + t.size() < text.size() && blank(text[at + t.size()]);
    };
    const auto clearFlags = [&] {
        for (auto& token : tokens) token.matched = false;
    };
    bool capturing = false;
    std::size_t opener = 0;
    std::string capture;
    std::size_t p = 0;
    while (p < text.size()) {
        if (!capturing) {
            if (blank(text[p])) {
                ++p;
                continue;
            }
            int next = -1;
            for (int i = 0; i < 19; ++i) {
                if (!tokens[static_cast<std::size_t>(i)].matched) {
                    next = i;
                    break;
                }
            }
            if (next < 0) {
                ++p;
                continue;
            }
            PatternToken& token = tokens[static_cast<std::size_t>(next)];
            if (matches(token, p)) {
                token.matched = true;
                p += token.Text().size();
                if (token.opensCapture) {
                    capturing = true;
                    capture.clear();
                    opener = static_cast<std::size_t>(next);
                }
            } else {
                clearFlags();
                ++p;
            }
        } else {
            const bool closes = matches(tokens[opener + 1], p);
            if (closes || capture.size() == 1023) {
                clearFlags();
                capturing = false;
                captures.push_back(capture);
            } else {
                capture += text[p];
            }
            ++p;
        }
    }
    return captures;
}

TEST(ScanCaptures, Examples) {
    const std::string dq(kLinkPatternDoubleQuote), sq(kLinkPatternSingleQuote);
    const std::vector<std::tuple<std::string, std::string, Captures>> cases = {
        {dq, R"(<a href="a/b.htm">x</a> <A  HREF = "C.htm"><a
href="x.htm">)", {"a/b.htm", "C.htm", "x.htm"}},
        {sq, "<a href='y.htm'>", {"y.htm"}},
        // Anything but blanks between tokens breaks the match; the byte that breaks it is consumed.
        {dq, R"(<a class="c" href="x"><area href="x"><a href=x><<a href="x">)", {}},
        {dq, R"(<b <a href="x.htm"><a href="never closed)", {"x.htm"}},
        // After a capture the scan resumes inside the closing token.
        {"x y zx", "xyQzxyRzx", {"Q", "R"}},
        {"<h1 > </h1>", "<h1>  Hello  </H1>", {"  Hello  "}},
        // A token needing a blank does not match at the end.
        {"x  y z", "x yQz xyRz", {"Q"}},
        {"x y  z", "zzxy", {}},
        {"<b> </b>", "<b>x</b>", {}},  // invalid: the opening token opens the capture
        {"\xC9 x y", "\xE9xQy \xC9xRy", {"R"}},  // only ASCII letters fold
        {dq, std::string("<a href=\"a\0b\">", 14), {std::string("a\0b", 3)}},
    };
    for (const auto& [pattern, text, expected] : cases) EXPECT_EQ(Scan(pattern, text), expected) << text;
    CompiledPattern pattern;
    CompilePattern(pattern, kLinkPatternDoubleQuote);
    int calls = 0;
    EXPECT_FALSE(ScanCaptures(pattern, R"(<a href="1"><a href="2">)", [&](std::string_view) { return ++calls > 5; }));
    EXPECT_EQ(calls, 1);  // the scan ends when the sink refuses
}

// Random patterns over texts made mostly of their own tokens, case-flipped
// now and then, with blanks and stray bytes, so that partial matches, broken
// matches, long captures and captures at the very end all happen often.
TEST(ScanCaptures, AgreesWithThePlainScanOnRandomInput) {
    std::mt19937 random(20261206);
    const std::string alphabet = "<aAbB=\"' \t\n\rx>\xE9\xC9";
    const std::vector<std::string> linkPieces = {"<a href=\"", "<A  HREF = '", "\"", "'", "<", "a ", "href", "=",
                                                 " ", "\n", "x.htm", "<abbr>", "<<a", "</a>"};
    const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    std::size_t totalCaptures = 0;
    for (int round = 0; round < 4000; ++round) {
        std::vector<std::string> tokens;
        std::string patternText;
        // Every fifth round: a link pattern over pieces of anchors.
        if (round % 5 == 0) {
            patternText = round % 10 == 0 ? kLinkPatternDoubleQuote : kLinkPatternSingleQuote;
            tokens = linkPieces;
        }
        const std::size_t tokenCount = tokens.empty() ? 1 + pick(round % 50 == 1 ? 23 : 6) : 0;
        for (std::size_t t = 0; t < tokenCount; ++t) {
            if (t) patternText += std::string(1 + (pick(5) == 0 ? pick(3) : 0), ' ');
            std::string token;
            const std::size_t length = 1 + pick(3);
            for (std::size_t i = 0; i < length; ++i) {
                const char c = alphabet[pick(alphabet.size())];
                token += c == ' ' ? 'b' : c;
            }
            tokens.push_back(token);
            patternText += token;
        }
        std::string text;
        const std::size_t pieces = pick(round % 20 == 0 ? 400 : 80);
        for (std::size_t i = 0; i < pieces; ++i) {
            switch (pick(6)) {
                case 0: text += std::string(1 + pick(2), " \t\n\r"[pick(4)]); break;
                case 1: text += pick(30) == 0 ? '\0' : alphabet[pick(alphabet.size())]; break;
                case 2: if (pick(15) == 0) text += std::string(1000 + pick(60), 'q'); break;
                default: {
                    std::string token = tokens[pick(tokens.size())];
                    for (char& c : token) {
                        if (pick(4) == 0 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) c ^= 0x20;
                    }
                    text += token;
                }
            }
        }
        CompiledPattern pattern;
        CompilePattern(pattern, patternText);
        Captures fast;
        ScanCaptures(pattern, text, [&](std::string_view c) {
            fast.emplace_back(c);
            return true;
        });
        ASSERT_EQ(fast, PlainScan(pattern, text)) << "pattern [" << patternText << "] text [" << text << "]";
        totalCaptures += fast.size();
    }
    EXPECT_GT(totalCaptures, 400u);  // the input really exercises capturing
}

}  // namespace
}  // namespace veltrano
