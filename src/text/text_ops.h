// Small text operations shared by the crawl engine, the parser and the
// pattern compiler. Texts are raw 8-bit bytes; only the 26 ASCII letters
// are folded when case does not matter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace veltrano {

// Space, tab, line feed and carriage return; nothing else.
constexpr bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

constexpr unsigned char FoldUpper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

// Removes leading and trailing blanks in place; inner blanks stay.
void TrimBlanks(std::string& text);

// True when `pattern` lies wholly inside `text` at `position`, comparing
// ASCII letters without regard to case. An empty pattern matches anywhere.
bool MatchAtNoCase(std::size_t position, std::string_view pattern, std::string_view text);

// True when `needle` occurs anywhere in `haystack`, ASCII case folded.
bool ContainsNoCase(std::string_view haystack, std::string_view needle);

// Whole-text equality with ASCII letters folded.
bool EqualNoCase(std::string_view a, std::string_view b);

// The file-name part of an address: what follows the last path slash,
// with query, fragment and parameters cut off. An address with no path
// counts as its own file name.
std::string UrlFileName(std::string_view address);

// The extension of the address's last path segment, case kept, or empty.
std::string UrlExtension(std::string_view address);

// Decimal text grouped in threes with an apostrophe: 1234567 -> 1'234'567.
std::string FormatThousands(std::int64_t value);
// The same for a count of rows or items.
std::string FormatCount(std::size_t count);

}  // namespace veltrano
