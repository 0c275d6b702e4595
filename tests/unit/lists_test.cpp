// The four lists, and the item editor and the preset groups of the two user lists.
#include <gtest/gtest.h>

#include <thread>

#include "crawl/item_editor.h"
#include "crawl/presets.h"
#include "test_support.h"
#include "state/app_state.h"

namespace veltrano {
namespace {

using testing::Texts;
constexpr AddOutcome added = AddOutcome::added, present = AddOutcome::present, refused = AddOutcome::refused;

// Whole texts are compared, folding ASCII letters only; loaded duplicates stay as rows. Two threads adding the same
// texts while the index grows add each once.
TEST(Lists, AddEachTextOnceUpToTheirLimitAlsoConcurrentlyAndKeepTheirRows) {
    PageList pages;
    pages.Assign({{"http://x/a", "OK"}, {"http://x/A", "SKIPPED"}, {"http://x/b", ""}, {"http://x/c", ""}});
    ResultList results;
    results.SetLimit(3);
    for (const auto& [text, page, result] : {std::tuple{"HTTP://X/B", present, added}, {"http://x/b ", added, added},
                                             {"caf\xC9", added, added}, {"CAF\xE9", added, refused}, {"CAF\xC9", present, present}}) {
        EXPECT_EQ(std::pair(pages.Add(text), results.Add(text)), std::pair(page, result)) << text;
    }
    EXPECT_EQ(std::tuple(pages.Row(4), pages.Count(), pages.Contains("http://X/C"), pages.Contains("http://x/"), pages.Row(9)),
              std::tuple(PageRow{"http://x/b ", ""}, 7u, true, false, PageRow{}));
    EXPECT_TRUE(pages.SetResult(2, "INET_E_CANNOT_CONNECT") && !pages.SetResult(9, "OK"));
    EXPECT_EQ(pages.FirstUnprocessed(), 3u);
    pages.SetCurrentRow(7);  // no such row: none is current
    EXPECT_EQ(pages.CurrentRow(), std::nullopt);
    pages.Assign({{"a", "OK"}});
    EXPECT_EQ(std::pair(pages.FirstUnprocessed(), pages.LastResult()), std::pair(std::optional<std::size_t>(), std::string("OK")));
    pages.Clear();
    EXPECT_EQ(std::pair(pages.Add("a"), pages.LastResult()), std::pair(added, std::string()));
    results.Clear();
    results.SetLimit(10000);
    const auto addAll = [&results] {
        for (int i = 0; i < 5000; ++i) results.Add("item " + std::to_string(i));
    };
    { std::jthread a(addAll), b(addAll); }
    EXPECT_EQ(results.Count(), 5000u);
}

// Presets add the members a list lacks, in any case, and have no count limit.
TEST(EditableList, FindsSelectsErasesAndTakesPresetGroups) {
    ExtensionList list;
    list.Assign({"htm", "MP3", "jpg"});
    EXPECT_EQ(std::tuple(list.FindExact("mp3"), list.FindExact("MP3"), list.FindNoCase("mp3")), std::tuple(std::nullopt, 1u, 1u));
    list.Select(2);
    EXPECT_EQ(list.Selection(), 2u);
    EXPECT_TRUE(list.Erase(2) && !list.Erase(5) && !list.Selection());
    list.Select(2);
    EXPECT_EQ(list.Selection(), std::nullopt);
    for (int i = 0; i < 96; ++i) list.Append("e" + std::to_string(i));
    AddPresetGroup(*FindPresetGroup("html"), list);
    AddPresetGroup(*FindPresetGroup("music"), list);
    EXPECT_EQ(Texts(list.Items().begin() + 98, list.Items().end()), (Texts{"html", "php", "aspx", "cgi", "wav", "ogg"}));
}

// The editor of one entry: add opens below a hundred entries, edit with a selected entry, whose text it shows
// whole. OK takes the typed text cut to the field's 99 characters and trimmed; an empty text or another entry's
// (case kept: "OGG" is not "ogg") is refused until corrected. The entry added, or edited in its place, is selected.
TEST(ItemEditor, OpensWithRoomOrASelectionAndTakesTrimmedTextsThatAreNoOtherEntrys) {
    const std::string loaded = std::string(97, 'x') + "  " + std::string(101, 'y');
    const Texts hundred(100, "e");
    struct Case { ItemEditMode mode; Texts before; std::optional<std::size_t> selected; Texts typed, after, messages; };
    const Case cases[] = {
        {ItemEditMode::add, {"mp3", "ogg"}, {}, {" \t\r\n", "ogg", "  OGG \t"}, {"mp3", "ogg", "OGG"},
         {"Please enter a text", "This item already exist!"}},
        {ItemEditMode::add, hundred, {}, {"wav"}, hundred, {"Limit of count items is reached."}},
        {ItemEditMode::edit, {}, {}, {"x"}, {}, {"There is no item for edit!"}},
        {ItemEditMode::edit, {"a", "b"}, {}, {"x"}, {"a", "b"}, {"Please select an item for edit."}},
        {ItemEditMode::edit, {"a", "b", "c"}, 2, {"b", "C"}, {"a", "b", "C"}, {"This item already exist!"}},
        {ItemEditMode::edit, {"a", "b", "c"}, 2, {"c"}, {"a", "b", "c"}, {}},
        {ItemEditMode::edit, {"first", loaded}, 1, {loaded}, {"first", std::string(97, 'x')}, {}}};
    for (const auto& [mode, before, selected, typed, after, messages] : cases) {
        testing::FakeView view;
        ExtensionList list;
        list.Assign(before);
        list.Select(selected);
        ItemEditor editor(view, list, mode);
        const bool closed = editor.Open() && std::ranges::any_of(typed, [&](const std::string& text) { return editor.OnOk(text); });
        EXPECT_EQ(std::tuple(editor.InitialText(), list.Items(), list.Selection(), view.Messages()),
                  std::tuple(selected ? before[*selected] : "", after, closed ? selected.value_or(before.size()) : selected,
                             testing::Prefixed("message(info): ", messages))) << typed[0];
    }
}

}  // namespace
}  // namespace veltrano
