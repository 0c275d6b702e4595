#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fake_view.h"
#include "project/project_store.h"
#include "project/safe_file.h"
#include "state/app_state.h"
#include "temp_dir.h"

namespace veltrano {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using testing::ReadBytes;
using testing::WriteBytes;

class ProjectStoreTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory("Projects"); }

    bool WritePages(const std::string& path, const std::vector<PageRow>& rows) {
        PageList pages;
        pages.Assign(rows);
        return FileSet(view).List(path, pages).Commit();
    }

    std::optional<Texts> Lines(const std::string& bytes) {
        WriteBytes("list.txt", bytes);
        return ReadListFile(view, "list.txt");
    }

    testing::ScopedWorkingDirectory folder;
    testing::FakeView view;
};

TEST_F(ProjectStoreTest, PathsNameTheProjectsFolderAndTheKind) {
    const std::string folderPrefix = ProjectFolder();
#ifdef _WIN32
    EXPECT_EQ(folderPrefix, ".\\Projects\\");
#else
    EXPECT_EQ(folderPrefix, "./Projects/");
#endif
    EXPECT_EQ(ProjectPath("Shop", ProjectFileKind::PageFile), folderPrefix + "Shop_page.txt");
    EXPECT_EQ(ProjectPath("Shop", ProjectFileKind::ResultFile), folderPrefix + "Shop_result.txt");
    EXPECT_EQ(ProjectPath("Shop", ProjectFileKind::ExtensionFile), folderPrefix + "Shop_extension.txt");
    EXPECT_EQ(ProjectPath("Shop", ProjectFileKind::SettingsFile), folderPrefix + "Shop.ini");
    EXPECT_EQ(ProjectPath("Shop", ProjectFileKind::PatternFile), folderPrefix + "Shop_pattern.txt");
    EXPECT_EQ(ProjectPath("autosave", ProjectFileKind::AutosaveSettingsFile), folderPrefix + "autosave_ini.txt");
    EXPECT_TRUE(FileExists("Projects"));
    EXPECT_FALSE(FileExists("Projects/none.ini"));
    WriteBytes("Projects/a.ini", "");
    EXPECT_TRUE(FileExists(ProjectPath("a", ProjectFileKind::SettingsFile)));
}

TEST_F(ProjectStoreTest, SettingsLayoutsAreExact) {
    AppState state;
    state.timerSeconds = 5;
    state.timerMinutes = 59;
    state.timerHours = 100;
    state.traffic = 3'000'000'000LL;
    state.grabMode = kGrabCustom;
    EXPECT_EQ(ProjectSettingsText(state),
              "[ MAIN ]\r\nTIMER_SEC = 5\r\nTIMER_MIN = 59\r\nTIMER_HOUR = 100\r\nTRAFFIC = 3000000000\r\n"
              "GRAB_TYPE = 1\r\nSKIP_MASK = \r\n");
    state.grabMode = -1;
    state.skipMask = "index";
    EXPECT_NE(ProjectSettingsText(state).find("GRAB_TYPE = -1\r\nSKIP_MASK = index\r\n"), std::string::npos);
    EXPECT_EQ(AutosaveSettingsText(0, "http://www.site.com", ""),
              "[ MAIN ]\r\nGRAB_TYPE = 0\r\nWEB_SITE = http://www.site.com\r\nSKIP_MASK = \r\n");
    EXPECT_EQ(AutosaveSettingsText(1, std::string(300, 'w'), "m"),
              "[ MAIN ]\r\nGRAB_TYPE = 1\r\nWEB_SITE = " + std::string(259, 'w') + "\r\nSKIP_MASK = m\r\n");
}

TEST_F(ProjectStoreTest, ListFilesHoldOneLinePerEntryEndedByCrLf) {
    ASSERT_TRUE(WriteListFile(view, "single.txt", Texts{"jpg", "", "two words"}));
    EXPECT_EQ(ReadBytes("single.txt"), "jpg\r\n\r\ntwo words\r\n");
    ASSERT_TRUE(WritePages("pages.txt", std::vector<PageRow>{{"http://a/", "OK"}, {"http://a/b.htm", ""}}));
    EXPECT_EQ(ReadBytes("pages.txt"), "http://a/\r\nOK\r\nhttp://a/b.htm\r\n\r\n");
    ASSERT_TRUE(WriteListFile(view, "empty.txt", Texts{}));
    EXPECT_TRUE(fs::exists("empty.txt"));
    EXPECT_EQ(fs::file_size("empty.txt"), 0u);
    EXPECT_TRUE(view.Messages().empty());
}

TEST_F(ProjectStoreTest, LineBreaksInsideEntriesAreWrittenAsBlanks) {
    ASSERT_TRUE(WriteListFile(view, "single.txt", Texts{"a\r\nb", "c\nd\re"}));
    EXPECT_EQ(ReadBytes("single.txt"), "a  b\r\nc d e\r\n");
    ASSERT_TRUE(WritePages("pages.txt", std::vector<PageRow>{{"http://a/x\ny", "OK"}}));
    EXPECT_EQ(ReadPageListFile(view, "pages.txt"), (std::vector<PageRow>{{"http://a/x y", "OK"}}));
}

TEST_F(ProjectStoreTest, PageCellsAreWrittenWithAtMost1023Characters) {
    const std::string longAddress(1500, 'p');
    ASSERT_TRUE(WritePages("pages.txt", std::vector<PageRow>{{longAddress, "OK"}}));
    EXPECT_EQ(ReadBytes("pages.txt"), std::string(1023, 'p') + "\r\nOK\r\n");
    ASSERT_TRUE(WriteListFile(view, "single.txt", Texts{longAddress}));
    EXPECT_EQ(ReadBytes("single.txt").size(), 1502u);  // single-column entries are written whole
}

TEST_F(ProjectStoreTest, LinesEndAtAnyLineEndAndKeepTheirFirst1024Bytes) {
    EXPECT_EQ(Lines("a\r\nb\r\n"), (Texts{"a", "b"}));
    EXPECT_EQ(Lines("a\nb\n"), (Texts{"a", "b"}));
    EXPECT_EQ(Lines("a\rb\r"), (Texts{"a", "b"}));
    EXPECT_EQ(Lines("a\r\nb"), (Texts{"a", "b"}));
    EXPECT_EQ(Lines("a\r\n\r\n\nb\r\r\n"), (Texts{"a", "", "", "b", ""}));
    EXPECT_EQ(Lines(""), Texts{});
    EXPECT_EQ(Lines("\r\n"), Texts{""});
    // A file is read in pieces: a CR LF split between two of them is one line end.
    for (const std::size_t before : {65535u, 65536u, 131071u}) {
        const std::string first(before, 'p');
        EXPECT_EQ(Lines(first + "\r\nq\r\n"), (Texts{first.substr(0, 1024), "q"})) << before;
    }
    EXPECT_EQ(Lines(std::string(2000, 'x') + "\r\nnext\r\n"), (Texts{std::string(1024, 'x'), "next"}));
    EXPECT_EQ(Lines(std::string("a\r\nb\0c\r\nd\r\n", 11)), (Texts{"a", "b"}));
}

TEST_F(ProjectStoreTest, PageFilesPairTheirLinesAndListsReadBackEntryForEntry) {
    WriteBytes("pages.txt", "http://a/\r\nOK\r\nhttp://a/b\r\n\r\nhttp://a/c\r\n");
    const std::vector<PageRow> rows = {{"http://a/", "OK"}, {"http://a/b", ""}, {"http://a/c", ""}};
    EXPECT_EQ(ReadPageListFile(view, "pages.txt"), rows);
    PageList pages;
    pages.Assign({{"old", "OK"}});
    pages.SetCurrentRow(0);
    ASSERT_TRUE(LoadPageListFile(view, "pages.txt", pages));
    EXPECT_EQ(pages.Rows(), rows);
    EXPECT_EQ(pages.CurrentRow(), std::nullopt);
    EXPECT_TRUE(pages.Contains("HTTP://A/B"));
    EXPECT_FALSE(LoadPageListFile(view, "missing.txt", pages));
    EXPECT_EQ(pages.Rows(), rows);
    const std::vector<PageRow> written = {{"http://s/", "OK"}, {"http://s/a b.htm", "SKIPPED"}, {"http://s/x", ""}};
    ASSERT_TRUE(WritePages("pages.txt", written));
    EXPECT_EQ(ReadPageListFile(view, "pages.txt"), written);
    const Texts items = {"\xE9t\xE9", "", " padded ", std::string(1024, 'z')};
    ASSERT_TRUE(WriteListFile(view, "items.txt", items));
    EXPECT_EQ(ReadListFile(view, "items.txt"), items);
}

TEST_F(ProjectStoreTest, UnreadableFilesAreReportedWithTheirPath) {
    const std::string missing = ProjectPath("none", ProjectFileKind::PageFile);
    EXPECT_EQ(ReadListFile(view, missing), std::nullopt);
    EXPECT_EQ(ReadWholeFile(view, "Projects"), std::nullopt);
    EXPECT_EQ(view.Messages(), (Texts{"message(info): Error open file: " + missing + ": No such file or directory",
                                      "message(info): Error open file: Projects: Is a directory"}));
}

TEST_F(ProjectStoreTest, AFailedSaveKeepsTheOldFile) {
    WriteBytes("Projects/Shop_page.txt", "old\r\n");
    // A folder where the new file would be assembled makes the save fail.
    fs::create_directory(SafeFileWriter::TemporaryPath(ProjectPath("Shop", ProjectFileKind::PageFile)));
    EXPECT_FALSE(WriteListFile(view, ProjectPath("Shop", ProjectFileKind::PageFile), Texts{"new"}));
    EXPECT_TRUE(testing::IsFileError(view.Messages(),
                                     "Error open file for write: " + ProjectPath("Shop", ProjectFileKind::PageFile)));
    EXPECT_EQ(ReadBytes("Projects/Shop_page.txt"), "old\r\n");
}

TEST_F(ProjectStoreTest, SavesReplaceTheOldFileWholeOrSayWhyNot) {
    fs::create_directories("Projects/taken.txt/inside");  // a non-empty folder cannot be replaced
    EXPECT_FALSE(WriteTextFile(view, "Projects/taken.txt", "text"));
    EXPECT_EQ(view.Messages(), Texts{"message(info): Error open file for write: Projects/taken.txt: Is a directory"});
    EXPECT_FALSE(fs::exists(SafeFileWriter::TemporaryPath("Projects/taken.txt")));
    EXPECT_TRUE(fs::is_directory("Projects/taken.txt"));
    WriteBytes("Projects/x.txt", std::string(5000, 'o'));
    ASSERT_TRUE(WriteTextFile(view, "Projects/x.txt", "short"));
    EXPECT_EQ(ReadBytes("Projects/x.txt"), "short");
    EXPECT_FALSE(fs::exists(SafeFileWriter::TemporaryPath("Projects/x.txt")));
}

TEST_F(ProjectStoreTest, ASetIsWrittenWholeOrNotAtAll) {
    WriteBytes("Projects/a.txt", "old a");
    WriteBytes("Projects/c.txt", "old c");
    fs::create_directory(SafeFileWriter::TemporaryPath("Projects/b.txt"));  // b cannot be written
    FileSet failing(view);
    failing.Text("Projects/a.txt", "new a").Text("Projects/b.txt", "new b").Text("Projects/c.txt", "new c");
    EXPECT_FALSE(failing.Commit());
    EXPECT_EQ(view.Messages().size(), 1u);
    EXPECT_EQ(ReadBytes("Projects/a.txt"), "old a");
    EXPECT_EQ(ReadBytes("Projects/c.txt"), "old c");
    EXPECT_FALSE(fs::exists(SafeFileWriter::TemporaryPath("Projects/a.txt")));
    EXPECT_FALSE(fs::exists(SafeFileWriter::TemporaryPath("Projects/c.txt")));

    // A folder in the place of the last file of the set stops it before any file is replaced.
    fs::remove(SafeFileWriter::TemporaryPath("Projects/b.txt"));
    fs::create_directories("Projects/c.txt.folder/inside");
    fs::remove("Projects/c.txt");
    fs::rename("Projects/c.txt.folder", "Projects/c.txt");
    EXPECT_FALSE(FileSet(view).Text("Projects/a.txt", "new a").Text("Projects/c.txt", "new c").Commit());
    EXPECT_EQ(ReadBytes("Projects/a.txt"), "old a");
    EXPECT_TRUE(FileSet(view).Text("Projects/a.txt", "new a").Text("Projects/b.txt", "new b").Commit());
    EXPECT_EQ(ReadBytes("Projects/a.txt") + ReadBytes("Projects/b.txt"), "new anew b");
}


class SettingsReaderTest : public ::testing::Test {
protected:
    SettingsReader Read(const std::string& bytes) {
        WriteBytes("settings.ini", bytes);
        return SettingsReader("settings.ini");
    }
    testing::ScopedWorkingDirectory folder;
};

TEST_F(SettingsReaderTest, SectionAndKeyNamesIgnoreCaseAndBlanks) {
    for (const char* section : {"[ MAIN ]", "[MAIN]", "[main]", "  [ Main ]  "}) {
        const SettingsReader settings = Read(std::string(section) + "\r\ntimer_sec=7\r\n");
        EXPECT_EQ(settings.Number("TIMER_SEC"), 7) << section;
    }
    EXPECT_EQ(Read("[OTHER]\r\nTIMER_SEC = 7\r\n").Number("TIMER_SEC"), 0);
    EXPECT_EQ(Read("[MAIN]\nA = 1\n[OTHER]\nB = 2\n").Number("B"), 0);
    EXPECT_EQ(Read("TIMER_SEC = 7\r\n").Number("TIMER_SEC"), 0);  // outside any section
}

TEST_F(SettingsReaderTest, NumbersReadASignAndLeadingDigits) {
    const SettingsReader settings =
        Read("[ MAIN ]\r\nA = -12abc\r\nB = letters\r\nC =\r\nD = +8\r\nE = -\r\nF = 3000000000\r\n"
             "G = 99999999999999999999999\r\n");
    EXPECT_EQ(settings.Number("A"), -12);
    EXPECT_EQ(settings.Number("B"), 0);
    EXPECT_EQ(settings.Number("C"), 0);
    EXPECT_EQ(settings.Number("D"), 8);
    EXPECT_EQ(settings.Number("E"), 0);
    EXPECT_EQ(settings.Number("F"), 3'000'000'000LL);
    EXPECT_EQ(settings.Number("G"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(settings.Number("TRAFFIC"), 0);
    EXPECT_EQ(SettingsInt(settings.Number("F")), std::numeric_limits<int>::max());
}

TEST_F(SettingsReaderTest, TextsAreTrimmedUnquotedAndCut) {
    const SettingsReader settings = Read("[ MAIN ]\r\nSKIP_MASK = \r\nWEB_SITE =   http://x/  \r\nQ1 = \"quoted \"\r\n"
                                         "Q2 = 'single'\r\nQ3 = \"unmatched'\r\nLONG = " +
                                         std::string(400, 'L') + "\r\n");
    EXPECT_EQ(settings.Text("SKIP_MASK"), "");
    EXPECT_EQ(settings.Text("WEB_SITE"), "http://x/");
    EXPECT_EQ(settings.Text("Q1"), "quoted ");
    EXPECT_EQ(settings.Text("Q2"), "single");
    EXPECT_EQ(settings.Text("Q3"), "\"unmatched'");
    EXPECT_EQ(settings.Text("LONG"), std::string(259, 'L'));
    EXPECT_EQ(settings.Text("MISSING"), "");
}

TEST_F(SettingsReaderTest, AMissingFileGivesEveryDefault) {
    const SettingsReader settings("no-such-file.ini");
    EXPECT_EQ(settings.Number("GRAB_TYPE"), 0);
    EXPECT_EQ(settings.Text("WEB_SITE"), "");
}

TEST_F(SettingsReaderTest, WrittenSettingsReadBack) {
    AppState state;
    state.timerSeconds = 1;
    state.timerMinutes = 2;
    state.timerHours = 3;
    state.traffic = 4'000'000'000LL;
    state.grabMode = 1;
    state.skipMask = "index";
    const SettingsReader settings = Read(ProjectSettingsText(state));
    EXPECT_EQ(settings.Number("TIMER_SEC"), 1);
    EXPECT_EQ(settings.Number("TIMER_MIN"), 2);
    EXPECT_EQ(settings.Number("TIMER_HOUR"), 3);
    EXPECT_EQ(settings.Number("TRAFFIC"), 4'000'000'000LL);
    EXPECT_EQ(settings.Number("GRAB_TYPE"), 1);
    EXPECT_EQ(settings.Text("SKIP_MASK"), "index");
}

}  // namespace
}  // namespace veltrano
