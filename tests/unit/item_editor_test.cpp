#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawl/item_editor.h"
#include "fake_view.h"
#include "state/lists.h"

namespace veltrano {
namespace {

using testing::FakeView;
using Texts = std::vector<std::string>;

class ItemEditorTest : public ::testing::Test {
protected:
    // The editor as one opening of the dialog: open, then OK with each text
    // in turn until one closes it. True when it closed with a change.
    bool Edit(ItemEditMode mode, std::initializer_list<std::string_view> typed) {
        ItemEditor editor(view, list, mode);
        if (!editor.Open()) return false;
        shown = editor.InitialText();
        for (const std::string_view text : typed) {
            if (editor.OnOk(text)) return true;
        }
        return false;
    }

    Texts Messages() {
        Texts messages = view.Messages();
        view.ClearCalls();
        return messages;
    }

    FakeView view;
    ExtensionList list;
    std::string shown;
};

TEST_F(ItemEditorTest, AddOpensBelowAHundredEntriesAndSelectsTheNewOne) {
    for (int i = 0; i < 99; ++i) list.Append("e" + std::to_string(i));
    EXPECT_TRUE(Edit(ItemEditMode::add, {"  mp3 \t"}));
    EXPECT_EQ(list.Count(), 100u);
    EXPECT_EQ(list.At(99), "mp3");
    EXPECT_EQ(list.Selection(), 99u);
    EXPECT_TRUE(Messages().empty());

    EXPECT_FALSE(Edit(ItemEditMode::add, {"ogg"}));
    EXPECT_EQ(Messages(), Texts{"message(info): Limit of count items is reached."});
    EXPECT_EQ(list.Count(), 100u);
}

TEST_F(ItemEditorTest, EditNeedsAnEntryAndASelection) {
    EXPECT_FALSE(Edit(ItemEditMode::edit, {"x"}));
    EXPECT_EQ(Messages(), Texts{"message(info): There is no item for edit!"});
    list.Assign({"a", "b"});
    EXPECT_FALSE(Edit(ItemEditMode::edit, {"x"}));
    EXPECT_EQ(Messages(), Texts{"message(info): Please select an item for edit."});
    EXPECT_EQ(list.Items(), (Texts{"a", "b"}));
}

TEST_F(ItemEditorTest, EmptyTextsAndDuplicatesAreRefusedUntilCorrected) {
    list.Assign({"mp3", "ogg"});
    EXPECT_TRUE(Edit(ItemEditMode::add, {" \t\r\n", "ogg", "OGG"}));
    EXPECT_EQ(Messages(), (Texts{"message(info): Please enter a text", "message(info): This item already exist!"}));
    // Case counts in the editor's own test.
    EXPECT_EQ(list.Items(), (Texts{"mp3", "ogg", "OGG"}));
}

TEST_F(ItemEditorTest, AnEditedEntryKeepsItsPlace) {
    list.Assign({"a", "b", "c", "d", "e"});
    list.Select(2);
    EXPECT_TRUE(Edit(ItemEditMode::edit, {"d", "C"}));
    EXPECT_EQ(Messages(), Texts{"message(info): This item already exist!"});
    EXPECT_EQ(list.Items(), (Texts{"a", "b", "C", "d", "e"}));
    EXPECT_EQ(list.Selection(), 2u);

    // Its own text unchanged is no duplicate.
    list.Select(4);
    EXPECT_TRUE(Edit(ItemEditMode::edit, {"e"}));
    EXPECT_EQ(list.Items(), (Texts{"a", "b", "C", "d", "e"}));
    EXPECT_EQ(list.Selection(), 4u);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ItemEditorTest, ALongEntryIsShownWholeAndKeptToTheFieldsLength) {
    const std::string loaded = std::string(97, 'x') + "  " + std::string(101, 'y');
    list.Assign({"first", loaded});
    list.Select(1);
    EXPECT_TRUE(Edit(ItemEditMode::edit, {loaded}));
    EXPECT_EQ(shown, loaded);
    EXPECT_EQ(list.At(1), std::string(97, 'x'));  // its first 99 characters, trimmed
}

}  // namespace
}  // namespace veltrano
