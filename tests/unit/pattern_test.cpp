#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/pattern.h"

namespace veltrano {
namespace {

struct TokenView {
    std::string text;
    bool needsBlankAfter;
    bool opensCapture;
    bool operator==(const TokenView&) const = default;
};

// The tokens up to the last one with text or a flag.
std::vector<TokenView> Tokens(std::string_view patternText) {
    CompiledPattern pattern;
    CompilePattern(pattern, patternText);
    std::vector<TokenView> tokens;
    std::size_t used = 0;
    for (std::size_t i = 0; i < kPatternTokenCount; ++i) {
        const PatternToken& t = pattern.tokens[i];
        EXPECT_FALSE(t.matched);
        if (!t.Text().empty() || t.needsBlankAfter || t.opensCapture) used = i + 1;
    }
    for (std::size_t i = 0; i < used; ++i) {
        const PatternToken& t = pattern.tokens[i];
        tokens.push_back({std::string(t.Text()), t.needsBlankAfter, t.opensCapture});
    }
    return tokens;
}

bool Valid(std::string_view patternText) {
    CompiledPattern pattern;
    CompilePattern(pattern, patternText);
    return IsPatternValid(pattern);
}

TEST(CompilePattern, BuiltInLinkPatterns) {
    const std::vector<TokenView> expected = {
        {"<", false, false}, {"A", true, false}, {"HREF", false, false},
        {"=", false, false}, {"\"", false, true}, {"\"", false, false},
    };
    EXPECT_EQ(Tokens(kLinkPatternDoubleQuote), expected);
    EXPECT_EQ(Tokens(kLinkPatternSingleQuote)[4].text, "'");
    EXPECT_TRUE(Valid(kLinkPatternSingleQuote));
}

TEST(CompilePattern, SpacesSeparateAndTwoSpacesRequireABlank) {
    EXPECT_EQ(Tokens("<td  class=price> </td>"),
              (std::vector<TokenView>{{"<td", true, false}, {"class=price>", false, true}, {"</td>", false, false}}));
    // Three spaces: the first two act as a pair, the third adds an empty token.
    EXPECT_EQ(Tokens("a   b c"),
              (std::vector<TokenView>{{"a", true, false}, {"", false, false}, {"b", false, true}, {"c", false, false}}));
    // Four spaces: two pairs, the second on an empty token.
    EXPECT_EQ(Tokens("a    b c"),
              (std::vector<TokenView>{{"a", true, false}, {"", true, false}, {"b", false, true}, {"c", false, false}}));
}

TEST(CompilePattern, OuterBlanksAreIgnoredInnerTabsBelongToTokens) {
    EXPECT_EQ(Tokens(" \t<title > </title>\r\n"), Tokens("<title > </title>"));
    EXPECT_EQ(Tokens("a\tb c d")[0].text, "a\tb");
}

TEST(CompilePattern, FewerThanThreeTokensIsInvalid) {
    EXPECT_FALSE(Valid(""));
    EXPECT_FALSE(Valid("   "));
    EXPECT_FALSE(Valid("<b>"));
    EXPECT_FALSE(Valid("<b> </b>"));
    EXPECT_TRUE(Valid("<b> > </b>"));
    EXPECT_EQ(Tokens("<b> </b>")[0].opensCapture, true);
}

TEST(CompilePattern, LongTokensKeepTheirFirst51Characters) {
    const std::string sixty(60, 'x');
    const auto tokens = Tokens(sixty + " y z");
    EXPECT_EQ(tokens[0].text, std::string(51, 'x'));
    EXPECT_EQ(tokens[1].text, "y");
}

TEST(CompilePattern, TwentyTokensAreKeptAndTheRestIgnored) {
    std::string twenty;
    for (int i = 0; i < 20; ++i) twenty += (i ? " t" : "t") + std::to_string(i);
    const auto tokens = Tokens(twenty);
    ASSERT_EQ(tokens.size(), 20u);
    EXPECT_TRUE(tokens[18].opensCapture);
    EXPECT_EQ(tokens[19].text, "t19");
    EXPECT_TRUE(Valid(twenty));

    const auto more = Tokens(twenty + " t20 t21");
    ASSERT_EQ(more.size(), 20u);
    EXPECT_TRUE(more[19].opensCapture);  // the 20th opens with nothing after it
    EXPECT_FALSE(more[18].opensCapture);
    EXPECT_TRUE(Valid(twenty + " t20 t21"));
}

TEST(CompilePattern, RecompilingLeavesNothingOfTheEarlierPattern) {
    CompiledPattern slot;
    CompilePattern(slot, std::string(40, 'q') + "  a  b  c  d  e  f  g");
    CompilePattern(slot, "<b>");
    CompilePattern(slot, "<i > </i>");
    CompiledPattern fresh;
    CompilePattern(fresh, "<i > </i>");
    EXPECT_EQ(slot, fresh);
    EXPECT_TRUE(IsPatternValid(slot));
}

TEST(CompilePattern, ANulByteEndsThePatternText) {
    EXPECT_EQ(Tokens(std::string_view("a b c\0 d e", 10)), Tokens("a b c"));
}

}  // namespace
}  // namespace veltrano
