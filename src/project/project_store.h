// The Projects folder: file names, the list-file and settings layouts, and
// the routines that write and read them. Each routine reports its own
// failure through the view and returns a success flag.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/lists.h"

namespace veltrano {

class View;
class SafeFileWriter;
struct AppState;

enum class ProjectFileKind {
    PageFile = 0,
    ResultFile = 1,
    ExtensionFile = 2,
    SettingsFile = 3,
    PatternFile = 4,
    AutosaveSettingsFile = 5,
};

inline constexpr std::string_view kAutosaveName = "autosave";
inline constexpr std::size_t kListLineMax = 1024;  // a reader keeps this much of a line
inline constexpr std::size_t kPageCellMax = 1023;  // a page cell is written with at most this much

// The folder as the paths name it: ".\Projects\" on Windows, "./Projects/" elsewhere.
std::string ProjectFolder();
std::string ProjectPath(std::string_view baseName, ProjectFileKind kind);
// Creates the Projects folder; the outcome is not looked at.
void CreateProjectFolder();
// True when the path names a file or a folder.
bool FileExists(const std::string& path);

// Files written as one set: each goes to a temporary file beside it as it
// is added, and only when every one is complete does Commit put them in
// place, in the order they were added, so the file added last (a settings
// file) is replaced last. After any failure, with its message naming the
// file and the reason, the temporaries go and every old file stays.
class FileSet {
public:
    explicit FileSet(View& view);
    ~FileSet();
    FileSet(const FileSet&) = delete;
    FileSet& operator=(const FileSet&) = delete;

    // The whole text.
    FileSet& Text(std::string path, std::string_view text);
    // One line per item, each ended by CR LF.
    FileSet& List(std::string path, const std::vector<std::string>& items);
    FileSet& List(std::string path, const ResultList& items);
    // Two lines per row: the "Web page" cell, then the "Result" cell.
    FileSet& List(std::string path, const PageList& rows);
    // True when every file of the set is in place.
    bool Commit();

private:
    FileSet& Add(std::string path, const std::function<bool(SafeFileWriter&)>& write);

    View& view_;
    std::vector<std::unique_ptr<SafeFileWriter>> writers_;
    bool failed_ = false;
};

// A set of one file.
bool WriteTextFile(View& view, const std::string& path, std::string_view text);
bool WriteListFile(View& view, const std::string& path, const std::vector<std::string>& items);
bool WriteListFile(View& view, const std::string& path, const ResultList& items);

// The file's bytes up to the first NUL byte, if any.
std::optional<std::string> ReadWholeFile(View& view, const std::string& path);
// The lines of a list file; CR LF, CR and LF each end a line, and a last
// line without a line end counts too. Each line keeps at most 1024 bytes.
std::optional<std::vector<std::string>> ReadListFile(View& view, const std::string& path);
std::optional<std::vector<PageRow>> ReadPageListFile(View& view, const std::string& path);
// Reads a page file into the list, replacing its rows; false after the message.
bool LoadPageListFile(View& view, const std::string& path, PageList& pages);

// The two settings layouts, CR LF after every line.
std::string ProjectSettingsText(const AppState& state);
std::string AutosaveSettingsText(int grabSelection, std::string_view webSite, std::string_view skipMask);

// Reads the [MAIN] section of a settings file the way a private-profile
// reader does. A missing file reads as empty: every key takes its default.
class SettingsReader {
public:
    explicit SettingsReader(const std::string& path);
    // Optional sign and leading decimal digits; 0 when absent or without digits.
    std::int64_t Number(std::string_view key) const;
    // At most 259 characters; empty when absent.
    std::string Text(std::string_view key) const;

private:
    std::optional<std::string> Value(std::string_view key) const;
    std::vector<std::pair<std::string, std::string>> entries_;  // of the MAIN section, in file order
};

// A number read from a settings file, held to the range of an int.
int SettingsInt(std::int64_t value);

}  // namespace veltrano
