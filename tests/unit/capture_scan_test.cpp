#include <gtest/gtest.h>

#include <random>
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

TEST(ScanCaptures, LinkPatternFindsQuotedTargets) {
    EXPECT_EQ(Scan(kLinkPatternDoubleQuote, R"(<a href="a/b.htm">x</a> <A  HREF = "C.htm">)"),
              (Captures{"a/b.htm", "C.htm"}));
    EXPECT_EQ(Scan(kLinkPatternDoubleQuote, "<a\nhref=\"x.htm\">"), Captures{"x.htm"});
    EXPECT_EQ(Scan(kLinkPatternSingleQuote, "<a href='y.htm'>"), Captures{"y.htm"});
}

TEST(ScanCaptures, AnythingButBlanksBetweenTokensBreaksTheMatch) {
    for (const char* text : {R"(<a class="c" href="x.htm">)", R"(<area href="x.htm">)", R"(<abbr>)",
                             R"(<a href=x.htm>)", R"(<ahref="x.htm">)"}) {
        EXPECT_EQ(Scan(kLinkPatternDoubleQuote, text), Captures{}) << text;
    }
}

TEST(ScanCaptures, TheByteThatBreaksAPartialMatchIsConsumed) {
    EXPECT_EQ(Scan(kLinkPatternDoubleQuote, R"(<<a href="x.htm">)"), Captures{});
    EXPECT_EQ(Scan(kLinkPatternDoubleQuote, R"(< <a href="x.htm">)"), Captures{});
    EXPECT_EQ(Scan(kLinkPatternDoubleQuote, R"(<b <a href="x.htm">)"), Captures{"x.htm"});
}

TEST(ScanCaptures, OnlyTheClosingTokensFirstByteIsPassedOver) {
    // After the capture the scan resumes inside the closing token.
    EXPECT_EQ(Scan("x y zx", "xyQzxyRzx"), (Captures{"Q", "R"}));
    EXPECT_EQ(Scan("x = ab", "x=1ab=2ab"), (Captures{"1"}));
    EXPECT_EQ(Scan("<h1 > </h1>", "<h1>  Hello  </H1>"), Captures{"  Hello  "});
}

TEST(ScanCaptures, CapturesAreCutAt1023BytesAndTheNextByteIsSkipped) {
    const std::string body(5000, 'y');
    const Captures captures = Scan("< b > <", "<b>" + body + "<b>z<");
    ASSERT_EQ(captures.size(), 2u);
    EXPECT_EQ(captures[0], std::string(1023, 'y'));
    EXPECT_EQ(captures[1], "z");
    // A closing token right at byte 1024 still closes the capture.
    EXPECT_EQ(Scan("< b > <", "<b>" + std::string(1023, 'y') + "<"), Captures{std::string(1023, 'y')});
}

TEST(ScanCaptures, ACaptureOpenAtTheEndIsDropped) {
    EXPECT_EQ(Scan(kLinkPatternDoubleQuote, R"(<a href="never closed)"), Captures{});
    EXPECT_EQ(Scan(kLinkPatternDoubleQuote, R"(<a href=")"), Captures{});
}

TEST(ScanCaptures, ATokenNeedingABlankDoesNotMatchAtTheEnd) {
    EXPECT_EQ(Scan("x  y z", "x yQz"), Captures{"Q"});
    EXPECT_EQ(Scan("x  y z", "xyQz"), Captures{});
    EXPECT_EQ(Scan("x  y z", "x"), Captures{});
    EXPECT_EQ(Scan("x y  z", "xy Qz"), Captures{" Q"});
    EXPECT_EQ(Scan("x y  z", "zzxy"), Captures{});  // the opening token ends the text
}

TEST(ScanCaptures, InvalidAndUnreachablePatternsCaptureNothing) {
    EXPECT_EQ(Scan("<b> </b>", "<b>x</b>"), Captures{});
    EXPECT_EQ(Scan("a   b c", "a  b c abc"), Captures{});  // an empty token never matches
    std::string twentyOne;
    std::string page;
    for (int i = 0; i < 21; ++i) {
        twentyOne += (i ? " " : "") + std::string(1, static_cast<char>('a' + i));
        page += static_cast<char>('a' + i);
    }
    EXPECT_EQ(Scan(twentyOne, page + page), Captures{});
    // Twenty tokens: the capture lies between the 19th and the 20th.
    const std::string twenty = twentyOne.substr(0, twentyOne.size() - 2);
    EXPECT_EQ(Scan(twenty, page.substr(0, 19) + "QQ" + "t"), Captures{"QQ"});
}

TEST(ScanCaptures, LettersFoldButOtherBytesMustBeEqual) {
    EXPECT_EQ(Scan("\xC9 x y", "\xE9xQy \xC9xRy"), Captures{"R"});
    EXPECT_EQ(Scan("[ x y", "{xQy"), Captures{});
}

TEST(ScanCaptures, NulBytesAreOrdinaryBytesToTheScan) {
    const std::string text("<a href=\"a\0b\">", 14);
    EXPECT_EQ(Scan(kLinkPatternDoubleQuote, text), Captures{std::string("a\0b", 3)});
}

TEST(ScanCaptures, StopsWhenTheSinkRefuses) {
    CompiledPattern pattern;
    CompilePattern(pattern, kLinkPatternDoubleQuote);
    int calls = 0;
    EXPECT_FALSE(ScanCaptures(pattern, R"(<a href="1"><a href="2">)", [&](std::string_view) {
        ++calls;
        return false;
    }));
    EXPECT_EQ(calls, 1);
}

// Random patterns over texts made mostly of their own tokens, case-flipped
// now and then, with blanks and stray bytes, so that partial matches, broken
// matches, long captures and captures at the very end all happen often.
TEST(ScanCaptures, AgreesWithThePlainScanOnRandomInput) {
    std::mt19937 random(20261206);
    const std::string alphabet = "<aAbB=\"' \t\n\rx>\xE9\xC9";
    const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    std::size_t totalCaptures = 0;
    for (int round = 0; round < 4000; ++round) {
        std::vector<std::string> tokens;
        std::string patternText;
        const std::size_t tokenCount = 1 + pick(round % 50 == 0 ? 23 : 6);
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

TEST(ScanCaptures, AgreesWithThePlainScanOnLinkPatterns) {
    std::mt19937 random(7);
    const std::vector<std::string> pieces = {"<a href=\"", "<A  HREF = '", "\"", "'", "<", "a ", "href", "=",
                                             " ", "\n", "x.htm", "<abbr>", "<<a", "</a>", "\xE9"};
    CompiledPattern doubleQuote, singleQuote;
    CompilePattern(doubleQuote, kLinkPatternDoubleQuote);
    CompilePattern(singleQuote, kLinkPatternSingleQuote);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int count = std::uniform_int_distribution<int>(0, 60)(random);
        for (int i = 0; i < count; ++i) text += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
        for (const CompiledPattern* pattern : {&doubleQuote, &singleQuote}) {
            Captures fast;
            ScanCaptures(*pattern, text, [&](std::string_view c) {
                fast.emplace_back(c);
                return true;
            });
            ASSERT_EQ(fast, PlainScan(*pattern, text)) << text;
        }
    }
}

}  // namespace
}  // namespace veltrano
