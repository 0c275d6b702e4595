// The settings reader against any file a user may put into Projects: the
// input is the file.
#include <charconv>
#include <limits>

#include "fuzz_support.h"

namespace {

// The number a value stands for, read with the standard library: an
// optional sign, then the leading digits (0 without any), held to the
// largest 64-bit number.
std::int64_t PlainNumber(std::string_view text) {
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) text.remove_prefix(1);
    if (text.starts_with('-')) return 0;  // no digits after the sign
    std::int64_t number = 0;
    const auto read = std::from_chars(text.data(), text.data() + text.size(), number);
    if (read.ec == std::errc::result_out_of_range) number = std::numeric_limits<std::int64_t>::max();
    return negative ? -number : number;
}

// A text that the writer puts out and the reader takes back unchanged: a
// reader drops blanks around a value and one pair of enclosing quotes.
bool Survives(std::string_view text) {
    const auto blank = [](char c) { return veltrano::IsBlank(static_cast<unsigned char>(c)); };
    if (!text.empty() && (blank(text.front()) || blank(text.back()))) return false;
    return !(text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrano;
    const SettingsReader settings(fuzz::ScratchFile("settings.ini", fuzz::AsText(data, size)));
    for (const char* key :
         {"TIMER_SEC", "TIMER_MIN", "TIMER_HOUR", "TRAFFIC", "GRAB_TYPE", "SKIP_MASK", "WEB_SITE", "timer_sec"}) {
        // A value ends at its line; Text keeps 259 characters, which may end inside the digits.
        const std::string text = settings.Text(key);
        FUZZ_CHECK(text.find_first_of("\r\n") == std::string::npos);
        FUZZ_CHECK(text.size() == kPathTextMax || settings.Number(key) == PlainNumber(text));
    }

    // What a project load takes from the file, saved and loaded again.
    const auto state = std::make_unique<AppState>();
    state->timerSeconds = SettingsInt(settings.Number("TIMER_SEC"));
    state->timerMinutes = SettingsInt(settings.Number("TIMER_MIN"));
    state->timerHours = SettingsInt(settings.Number("TIMER_HOUR"));
    state->traffic = settings.Number("TRAFFIC");
    state->grabMode = SettingsInt(settings.Number("GRAB_TYPE"));
    state->skipMask = settings.Text("SKIP_MASK");
    const SettingsReader saved(fuzz::ScratchFile("copy.ini", ProjectSettingsText(*state)));
    FUZZ_CHECK(saved.Number("TIMER_SEC") == state->timerSeconds && saved.Number("TIMER_MIN") == state->timerMinutes);
    FUZZ_CHECK(saved.Number("TIMER_HOUR") == state->timerHours && saved.Number("TRAFFIC") == state->traffic);
    FUZZ_CHECK(saved.Number("GRAB_TYPE") == state->grabMode);
    FUZZ_CHECK(!Survives(state->skipMask) || saved.Text("SKIP_MASK") == state->skipMask);
    // The same for the autosave settings.
    const std::string site = settings.Text("WEB_SITE");
    const std::string autosave = AutosaveSettingsText(state->grabMode, site, state->skipMask);
    const SettingsReader autosaved(fuzz::ScratchFile("copy.ini", autosave));
    FUZZ_CHECK(autosaved.Number("GRAB_TYPE") == state->grabMode);
    FUZZ_CHECK(!Survives(site) || autosaved.Text("WEB_SITE") == site);
    FUZZ_CHECK(!Survives(state->skipMask) || autosaved.Text("SKIP_MASK") == state->skipMask);
    return 0;
}
