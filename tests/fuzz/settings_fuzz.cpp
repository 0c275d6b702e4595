// The settings reader against any file a user may put into Projects: the
// input is the file.
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "project/project_store.h"
#include "state/app_state.h"
#include "text/text_ops.h"

namespace veltrano::fuzz {
namespace {

constexpr std::string_view kNumberKeys[] = {"TIMER_SEC", "TIMER_MIN", "TIMER_HOUR", "TRAFFIC", "GRAB_TYPE"};
constexpr std::string_view kTextKeys[] = {"SKIP_MASK", "WEB_SITE", "timer_sec"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A text that the writer puts out and the reader takes back unchanged: a
// reader drops blanks around a value and one pair of enclosing quotes.
bool SurvivesWriting(std::string_view text) {
    if (!text.empty() && (IsBlank(static_cast<unsigned char>(text.front())) || IsBlank(static_cast<unsigned char>(text.back()))))
        return false;
    return !(text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front());
}

void CheckNumber(const SettingsReader& settings, std::string_view key) {
    const std::int64_t number = settings.Number(key);
    const std::string text = settings.Text(key);
    // A number needs a digit, after at most a sign; its sign is the text's.
    if (number != 0) {
        const std::size_t digit = text.empty() || IsDigit(text[0]) ? 0 : 1;
        FUZZ_CHECK(digit < text.size() && IsDigit(text[digit]));
        FUZZ_CHECK((number < 0) == (text[0] == '-'));
    }
    if (!text.empty() && text.size() <= 18 && text.find_first_not_of("0123456789") == std::string::npos) {
        FUZZ_CHECK(number == std::stoll(text));
    }

    const int held = SettingsInt(number);
    if (number > std::numeric_limits<int>::max()) {
        FUZZ_CHECK(held == std::numeric_limits<int>::max());
    } else if (number < std::numeric_limits<int>::min()) {
        FUZZ_CHECK(held == std::numeric_limits<int>::min());
    } else {
        FUZZ_CHECK(held == number);
    }
}

}  // namespace
}  // namespace veltrano::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrano;
    using namespace veltrano::fuzz;
    const std::string input = Scratch().File("settings.ini");
    const std::string copy = Scratch().File("copy.ini");
    WriteFileBytes(input, AsText(data, size));

    const SettingsReader settings(input);
    for (const std::string_view key : kNumberKeys) CheckNumber(settings, key);
    for (const std::string_view key : kTextKeys) {
        const std::string text = settings.Text(key);
        FUZZ_CHECK(text.size() <= 259);
        FUZZ_CHECK(text.find_first_of("\r\n") == std::string::npos);
    }

    // What a project load takes from the file, saved and loaded again.
    const auto state = std::make_unique<AppState>();
    state->timerSeconds = SettingsInt(settings.Number("TIMER_SEC"));
    state->timerMinutes = SettingsInt(settings.Number("TIMER_MIN"));
    state->timerHours = SettingsInt(settings.Number("TIMER_HOUR"));
    state->traffic = settings.Number("TRAFFIC");
    state->grabMode = SettingsInt(settings.Number("GRAB_TYPE"));
    state->skipMask = settings.Text("SKIP_MASK");
    WriteFileBytes(copy, ProjectSettingsText(*state));
    const SettingsReader saved(copy);
    FUZZ_CHECK(saved.Number("TIMER_SEC") == state->timerSeconds);
    FUZZ_CHECK(saved.Number("TIMER_MIN") == state->timerMinutes);
    FUZZ_CHECK(saved.Number("TIMER_HOUR") == state->timerHours);
    FUZZ_CHECK(saved.Number("TRAFFIC") == state->traffic);
    FUZZ_CHECK(saved.Number("GRAB_TYPE") == state->grabMode);
    if (SurvivesWriting(state->skipMask)) FUZZ_CHECK(saved.Text("SKIP_MASK") == state->skipMask);

    // The same for the autosave settings.
    const std::string site = settings.Text("WEB_SITE");
    WriteFileBytes(copy, AutosaveSettingsText(state->grabMode, site, state->skipMask));
    const SettingsReader autosaved(copy);
    FUZZ_CHECK(autosaved.Number("GRAB_TYPE") == state->grabMode);
    if (SurvivesWriting(site)) FUZZ_CHECK(autosaved.Text("WEB_SITE") == site);
    if (SurvivesWriting(state->skipMask)) FUZZ_CHECK(autosaved.Text("SKIP_MASK") == state->skipMask);
    return 0;
}
