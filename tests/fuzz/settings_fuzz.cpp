// The settings reader against any file a user may put into Projects: the input is the file.
#include <charconv>
#include <limits>

#include "fuzz_support.h"

// A value's number by std::from_chars: a sign, the leading digits (0 without any), at most int64's largest.
static std::int64_t PlainNumber(std::string_view text) {
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) text.remove_prefix(1);
    if (text.starts_with('-')) return 0;  // no digits after the sign
    std::int64_t number = 0;
    const auto read = std::from_chars(text.data(), text.data() + text.size(), number);
    if (read.ec == std::errc::result_out_of_range) number = std::numeric_limits<std::int64_t>::max();
    return negative ? -number : number;
}

// Whether a value reads back as written: the reader drops blanks around it and one pair of enclosing quotes.
static bool Survives(std::string_view text) {
    const auto blank = [](char c) { return IsBlank(static_cast<unsigned char>(c)); };
    if (!text.empty() && (blank(text.front()) || blank(text.back()))) return false;
    return !(text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front());
}

FUZZ_TARGET(input) {
    const SettingsReader settings(fuzz::ScratchFile("settings.ini", input));
    for (const char* key :
         {"TIMER_SEC", "TIMER_MIN", "TIMER_HOUR", "TRAFFIC", "GRAB_TYPE", "SKIP_MASK", "WEB_SITE", "timer_sec"}) {
        // A value ends with its line; Text keeps up to 259 characters, which may end inside the digits.
        const std::string text = settings.Text(key);
        FUZZ_CHECK(text.size() <= kPathTextMax && text.find_first_of("\r\n") == std::string::npos);
        FUZZ_CHECK(text.size() == kPathTextMax || settings.Number(key) == PlainNumber(text));
    }
    const auto state = std::make_unique<AppState>();
    std::tie(state->timerSeconds, state->timerMinutes, state->timerHours, state->traffic, state->grabMode) = std::tuple(
        SettingsInt(settings.Number("TIMER_SEC")), SettingsInt(settings.Number("TIMER_MIN")),
        SettingsInt(settings.Number("TIMER_HOUR")), settings.Number("TRAFFIC"), SettingsInt(settings.Number("GRAB_TYPE")));
    const std::string mask = state->skipMask = settings.Text("SKIP_MASK");
    const std::string site = settings.Text("WEB_SITE");
    const SettingsReader saved(fuzz::ScratchFile("saved.ini", ProjectSettingsText(*state)));
    const SettingsReader autosaved(fuzz::ScratchFile("auto.ini", AutosaveSettingsText(state->grabMode, site, mask)));
    FUZZ_CHECK(saved.Number("TIMER_SEC") == state->timerSeconds && saved.Number("TIMER_MIN") == state->timerMinutes);
    FUZZ_CHECK(saved.Number("TIMER_HOUR") == state->timerHours && saved.Number("TRAFFIC") == state->traffic);
    FUZZ_CHECK(saved.Number("GRAB_TYPE") == state->grabMode && autosaved.Number("GRAB_TYPE") == state->grabMode);
    FUZZ_CHECK(!Survives(mask) || (saved.Text("SKIP_MASK") == mask && autosaved.Text("SKIP_MASK") == mask));
    FUZZ_CHECK(!Survives(site) || autosaved.Text("WEB_SITE") == site);
}
