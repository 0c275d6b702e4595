#include "parse/html_tokenizer.h"

#include <cstdint>
#include <cstring>
#include <unordered_set>

#include "parse/html_entities.h"

namespace veltrano {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiAlnum(char c) { return IsAsciiAlpha(c) || IsAsciiDigit(c); }
bool IsHexDigit(char c) { return IsAsciiDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }
// Tab, line feed, form feed, carriage return (a line break before input
// preprocessing) and space.
bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
    if (text.size() - at < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(text[at + i]) != prefix[i]) return false;
    }
    return true;
}

void AppendUtf8(std::uint32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Numeric references to 0x80..0x9F mean what windows-1252 puts there.
std::uint32_t NumericReferenceCode(std::uint32_t code) {
    static constexpr std::uint16_t kWindows1252[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178,
    };
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0xFFFD;
    if (code >= 0x80 && code <= 0x9F) return kWindows1252[code - 0x80];
    return code;
}

// Elements whose content the tokenizer reads as text up to their end tag.
enum class TextKind { none, rawText, escapable, script, plainText };

TextKind ContentKind(std::string_view name) {
    if (name == "script") return TextKind::script;
    if (name == "style" || name == "xmp" || name == "iframe" || name == "noembed" || name == "noframes") {
        return TextKind::rawText;
    }
    if (name == "title" || name == "textarea") return TextKind::escapable;
    if (name == "plaintext") return TextKind::plainText;
    return TextKind::none;
}

// HTML start tags that end SVG or MathML content (and <font> with color,
// face or size).
bool IsBreakoutName(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "b",  "big", "blockquote", "body", "br",      "center", "code", "dd",   "div",  "dl",     "dt",
        "em", "embed", "h1",       "h2",   "h3",      "h4",     "h5",   "h6",   "head", "hr",     "i",
        "img", "li", "listing",    "menu", "meta",    "nobr",   "ol",   "p",    "pre",  "ruby",   "s",
        "small", "span", "strong", "strike", "sub",   "sup",    "table", "tt",  "u",    "ul",     "var",
    };
    for (const std::string_view candidate : kNames) {
        if (name == candidate) return true;
    }
    return false;
}

class Tokenizer {
public:
    Tokenizer(std::string_view page, HtmlTokenSink& sink) : s_(page), sink_(sink) {}

    void Run() {
        while (pos_ < s_.size()) {
            const void* found = std::memchr(s_.data() + pos_, '<', s_.size() - pos_);
            if (found == nullptr) return;
            pos_ = static_cast<std::size_t>(static_cast<const char*>(found) - s_.data()) + 1;
            if (pos_ >= s_.size()) return;
            const char c = s_[pos_];
            if (IsAsciiAlpha(c)) {
                ReadTag(false);
            } else if (c == '/') {
                ++pos_;
                if (pos_ < s_.size() && IsAsciiAlpha(s_[pos_])) {
                    ReadTag(true);
                } else if (pos_ < s_.size() && s_[pos_] == '>') {
                    ++pos_;  // "</>" is dropped
                } else {
                    SkipPast('>');  // a bogus comment
                }
            } else if (c == '!') {
                ++pos_;
                MarkupDeclaration();
            } else if (c == '?') {
                SkipPast('>');
            }
            // Anything else: the "<" was text.
        }
    }

private:
    void SkipPast(char end) {
        const std::size_t at = s_.find(end, pos_);
        pos_ = at == std::string_view::npos ? s_.size() : at + 1;
    }

    void MarkupDeclaration() {
        if (s_.substr(pos_, 2) == "--") {
            SkipComment(pos_ + 2);
        } else if (InForeignContent() && s_.substr(pos_, 7) == "[CDATA[") {
            const std::size_t end = s_.find("]]>", pos_ + 7);
            pos_ = end == std::string_view::npos ? s_.size() : end + 3;
        } else {
            SkipPast('>');  // a doctype ends at the first ">" too
        }
    }

    // A comment ends at "-->" or "--!>"; "<!-->" and "<!--->" are empty ones.
    void SkipComment(std::size_t body) {
        if (s_.substr(body, 1) == ">") {
            pos_ = body + 1;
            return;
        }
        if (s_.substr(body, 2) == "->") {
            pos_ = body + 2;
            return;
        }
        // Each dash is looked at once, however long a run of them is.
        for (std::size_t at = s_.find("--", body); at != std::string_view::npos;) {
            std::size_t after = at + 2;
            while (after < s_.size() && s_[after] == '-') ++after;
            if (after < s_.size() && s_[after] == '>') {
                pos_ = after + 1;
                return;
            }
            if (s_.substr(after, 2) == "!>") {
                pos_ = after + 2;
                return;
            }
            at = s_.find("--", after);
        }
        pos_ = s_.size();
    }

    // Reads a tag whose name begins at pos_. A tag cut off by the end of
    // the page is dropped.
    void ReadTag(bool endTag) {
        tag_.name.clear();
        tag_.count = 0;
        bool selfClosing = false;
        while (pos_ < s_.size()) {
            const char c = s_[pos_];
            if (IsHtmlSpace(c) || c == '/' || c == '>') break;
            if (c == '\0') {
                tag_.name += kReplacement;
            } else {
                tag_.name += Lower(c);
            }
            ++pos_;
        }
        // The attributes, one per round.
        while (true) {
            while (pos_ < s_.size() && (IsHtmlSpace(s_[pos_]) || s_[pos_] == '/')) {
                selfClosing = s_[pos_] == '/';
                ++pos_;
            }
            if (pos_ >= s_.size()) return;
            if (s_[pos_] == '>') {
                ++pos_;
                break;
            }
            selfClosing = false;
            if (!ReadAttribute()) return;
        }
        if (endTag) {
            // It closes the innermost SVG or MathML frame of its name, and
            // every frame within that one.
            for (std::size_t i = foreign_.size(); i-- > 0;) {
                if (foreign_[i].name == tag_.name) {
                    foreign_.resize(i);
                    break;
                }
            }
            return;
        }
        if (InForeignContent()) {
            if (!BreaksOutOfForeignContent(tag_)) {
                ForeignStartTag(selfClosing);
                return;
            }
            while (InForeignContent()) foreign_.pop_back();
        }
        sink_.StartTag(tag_);
        if ((tag_.name == "svg" || tag_.name == "math") && !selfClosing) {
            foreign_.push_back({tag_.name, false, tag_.name == "svg"});
            return;
        }
        switch (ContentKind(tag_.name)) {
            case TextKind::none: break;
            case TextKind::rawText:
            case TextKind::escapable: {
                const std::size_t start = pos_;
                pos_ = FindEndTag(tag_.name, pos_);
                if (tag_.name == "style") sink_.StyleText(s_.substr(start, pos_ - start));
                break;
            }
            case TextKind::script: pos_ = ScriptEnd(pos_); break;
            case TextKind::plainText: pos_ = s_.size(); break;
        }
    }

    bool InForeignContent() const { return !foreign_.empty() && !foreign_.back().html; }

    // A start tag within SVG or MathML: markup all through, no raw text.
    void ForeignStartTag(bool selfClosing) {
        sink_.StartTag(tag_);
        if (selfClosing) return;
        const bool svg = foreign_.back().svg;
        const std::string& name = tag_.name;
        if (name == "svg" || name == "math") {
            foreign_.push_back({name, false, name == "svg"});
        } else if (IsHtmlIntegrationPoint(svg)) {
            foreign_.push_back({name, true, svg});
        } else if (svg && name == "style") {
            // Its text is markup here, but still a style sheet.
            std::size_t start = pos_;
            while (start < s_.size() && IsHtmlSpace(s_[start])) ++start;
            if (s_.substr(start, 9) == "<![CDATA[") {
                start += 9;
                sink_.StyleText(s_.substr(start, s_.find("]]>", start) - start));
            } else {
                sink_.StyleText(s_.substr(pos_, s_.find('<', pos_) - pos_));
            }
        }
    }

    // Elements within which HTML is read again.
    bool IsHtmlIntegrationPoint(bool svg) const {
        const std::string& name = tag_.name;
        if (svg) return name == "foreignobject" || name == "desc" || name == "title";
        if (name == "mi" || name == "mo" || name == "mn" || name == "ms" || name == "mtext") return true;
        if (name != "annotation-xml") return false;
        const std::string* encoding = tag_.Find("encoding");
        if (encoding == nullptr) return false;
        std::string lower;
        for (const char c : *encoding) lower += Lower(c);
        return lower == "text/html" || lower == "application/xhtml+xml";
    }

    // HTML start tags that end SVG or MathML content.
    bool BreaksOutOfForeignContent(const HtmlStartTag& tag) const {
        if (tag.name == "font") return tag.Find("color") || tag.Find("face") || tag.Find("size");
        return IsBreakoutName(tag.name);
    }

    // One attribute at pos_ (not a blank, "/" or ">"). False at the end of
    // the page, inside the tag.
    bool ReadAttribute() {
        std::string& name = NextAttribute().name;
        name.clear();
        // A "=" can only begin a name; after that it begins the value.
        name += Lower(s_[pos_]);
        ++pos_;
        while (pos_ < s_.size()) {
            const char c = s_[pos_];
            if (IsHtmlSpace(c) || c == '/' || c == '>' || c == '=') break;
            if (c == '\0') {
                name += kReplacement;
            } else {
                name += Lower(c);
            }
            ++pos_;
        }
        std::string& value = tag_.attributes[tag_.count - 1].value;
        value.clear();
        std::size_t look = pos_;
        while (look < s_.size() && IsHtmlSpace(s_[look])) ++look;
        if (look >= s_.size()) return false;
        if (s_[look] == '=') {
            pos_ = look + 1;
            while (pos_ < s_.size() && IsHtmlSpace(s_[pos_])) ++pos_;
            if (pos_ >= s_.size()) return false;
            const char quote = s_[pos_];
            if (quote == '"' || quote == '\'') {
                ++pos_;
                if (!ReadValue(value, quote)) return false;
            } else if (quote != '>') {
                if (!ReadValue(value, '\0')) return false;
            }
        }
        // A name met earlier in the tag keeps its first value. Past a few
        // attributes the names go into a set, so that a tag of a hundred
        // thousand of them costs no more than their reading.
        constexpr std::size_t kLinearNames = 16;
        if (tag_.count <= kLinearNames) {
            for (std::size_t i = 0; i + 1 < tag_.count; ++i) {
                if (tag_.attributes[i].name == name) {
                    --tag_.count;
                    break;
                }
            }
            return true;
        }
        if (tag_.count == kLinearNames + 1) {
            seenNames_.clear();
            for (std::size_t i = 0; i + 1 < tag_.count; ++i) seenNames_.insert(tag_.attributes[i].name);
        }
        if (!seenNames_.insert(name).second) --tag_.count;
        return true;
    }

    HtmlAttribute& NextAttribute() {
        if (tag_.count == tag_.attributes.size()) tag_.attributes.emplace_back();
        return tag_.attributes[tag_.count++];
    }

    // A quoted value up to `quote`, or (quote NUL) an unquoted one up to a
    // blank or ">". False at the end of the page.
    bool ReadValue(std::string& value, char quote) {
        while (pos_ < s_.size()) {
            // Plain bytes go over in one piece.
            std::size_t plain = pos_;
            while (plain < s_.size()) {
                const char p = s_[plain];
                if (p == '&' || p == '\0' || (quote != '\0' ? p == quote : (IsHtmlSpace(p) || p == '>'))) break;
                ++plain;
            }
            value.append(s_.data() + pos_, plain - pos_);
            pos_ = plain;
            if (pos_ >= s_.size()) break;
            const char c = s_[pos_];
            if (quote != '\0' ? c == quote : (IsHtmlSpace(c) || c == '>')) {
                if (quote != '\0') ++pos_;
                return true;
            }
            if (c == '&') {
                pos_ = DecodeCharacterReference(s_, pos_, true, value);
            } else {
                if (c == '\0') {
                    value += kReplacement;
                } else {
                    value += c;
                }
                ++pos_;
            }
        }
        return false;
    }

    // The position of the "<" of "</NAME" followed by a blank, "/" or ">",
    // or the end of the page.
    std::size_t FindEndTag(std::string_view name, std::size_t from) const {
        for (std::size_t at = s_.find("</", from); at != std::string_view::npos; at = s_.find("</", at + 2)) {
            if (IsEndTagOf(name, at)) return at;
        }
        return s_.size();
    }

    bool IsEndTagOf(std::string_view name, std::size_t at) const {
        if (s_.substr(at, 2) != "</" || !StartsWithNoCase(s_, at + 2, name)) return false;
        const std::size_t after = at + 2 + name.size();
        return after < s_.size() && (IsHtmlSpace(s_[after]) || s_[after] == '/' || s_[after] == '>');
    }

    // Whether "script" followed by a blank, "/" or ">" stands at `at`.
    bool ScriptWordAt(std::size_t at) const {
        if (!StartsWithNoCase(s_, at, "script")) return false;
        const std::size_t after = at + 6;
        return after < s_.size() && (IsHtmlSpace(s_[after]) || s_[after] == '/' || s_[after] == '>');
    }

    // Where a script's text ends: its "</script" end tag, except inside an
    // "<!--" where a nested "<script" has opened (the escape states).
    std::size_t ScriptEnd(std::size_t from) const {
        enum { data, escaped, doubleEscaped } state = data;
        std::size_t at = from;
        while (at < s_.size()) {
            if (state == data) {
                const std::size_t lt = s_.find('<', at);
                if (lt == std::string_view::npos) return s_.size();
                if (IsEndTagOf("script", lt)) return lt;
                if (s_.substr(lt, 4) == "<!--") {
                    state = escaped;
                    at = lt + 2;  // its dashes may already close it: "<!-->"
                    continue;
                }
                at = lt + 1;
                continue;
            }
            const char c = s_[at];
            if (c == '-' && s_.substr(at, 3) == "-->") {
                // "-->" in either escaped state returns to plain script text.
                state = data;
                at += 3;
                continue;
            }
            if (c == '<') {
                if (state == escaped) {
                    if (IsEndTagOf("script", at)) return at;
                    if (ScriptWordAt(at + 1)) state = doubleEscaped;
                } else if (s_.substr(at, 2) == "</" && ScriptWordAt(at + 2)) {
                    state = escaped;
                }
            }
            ++at;
        }
        return s_.size();
    }

    std::string_view s_;
    HtmlTokenSink& sink_;
    std::size_t pos_ = 0;
    // The open SVG and MathML elements that matter to the tokenizer: the
    // roots, and the integration points within which HTML is read again.
    struct ForeignFrame {
        std::string name;
        bool html;  // an integration point
        bool svg;   // else MathML
    };
    std::vector<ForeignFrame> foreign_;
    std::unordered_set<std::string> seenNames_;
    HtmlStartTag tag_;
};

}  // namespace

const std::string* HtmlStartTag::Find(std::string_view attributeName) const {
    for (std::size_t i = 0; i < count; ++i) {
        if (attributes[i].name == attributeName) return &attributes[i].value;
    }
    return nullptr;
}

std::size_t DecodeCharacterReference(std::string_view text, std::size_t at, bool inAttribute, std::string& out) {
    std::size_t p = at + 1;
    if (p < text.size() && text[p] == '#') {
        ++p;
        const bool hex = p < text.size() && (text[p] == 'x' || text[p] == 'X');
        if (hex) ++p;
        const std::size_t digits = p;
        std::uint32_t code = 0;
        while (p < text.size() && (hex ? IsHexDigit(text[p]) : IsAsciiDigit(text[p]))) {
            const char c = text[p];
            const std::uint32_t digit =
                IsAsciiDigit(c) ? static_cast<std::uint32_t>(c - '0') : static_cast<std::uint32_t>((c | 0x20) - 'a' + 10);
            code = code > 0x10FFFF ? code : code * (hex ? 16 : 10) + digit;
            ++p;
        }
        if (p == digits) {
            out += '&';
            return at + 1;
        }
        if (p < text.size() && text[p] == ';') ++p;
        AppendUtf8(NumericReferenceCode(code), out);
        return p;
    }
    std::size_t run = p;
    while (run < text.size() && run - p <= kHtmlEntityNameMax && IsAsciiAlnum(text[run])) ++run;
    if (run < text.size() && text[run] == ';' && run - p <= kHtmlEntityNameMax) {
        if (const std::optional<HtmlEntity> entity = FindHtmlEntity(text.substr(p, run - p))) {
            out += entity->value;
            return run + 1;
        }
    }
    // Without the semicolon only the legacy names count, longest first.
    for (std::size_t length = std::min<std::size_t>(run - p, 6); length >= 2; --length) {
        const std::optional<HtmlEntity> entity = FindHtmlEntity(text.substr(p, length));
        if (!entity || !entity->legacy) continue;
        const std::size_t end = p + length;
        if (inAttribute && end < text.size() && (text[end] == '=' || IsAsciiAlnum(text[end]))) break;
        out += entity->value;
        return end;
    }
    out += '&';
    return at + 1;
}

void TokenizeHtml(std::string_view page, HtmlTokenSink& sink) { Tokenizer(page, sink).Run(); }

}  // namespace veltrano
