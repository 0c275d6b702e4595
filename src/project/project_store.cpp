#include "project/project_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <system_error>

#include "text/text_ops.h"
#include "project/safe_file.h"
#include "state/file_bytes.h"
#include "state/app_state.h"
#include "state/view.h"

namespace veltrano {
namespace {

constexpr std::string_view kSection = "MAIN";
constexpr std::size_t kSettingsTextMax = 259;

std::string_view Suffix(ProjectFileKind kind) {
    switch (kind) {
        case ProjectFileKind::PageFile: return "_page.txt";
        case ProjectFileKind::ResultFile: return "_result.txt";
        case ProjectFileKind::ExtensionFile: return "_extension.txt";
        case ProjectFileKind::SettingsFile: return ".ini";
        case ProjectFileKind::PatternFile: return "_pattern.txt";
        case ProjectFileKind::AutosaveSettingsFile: return "_ini.txt";
    }
    return {};
}

// A line as a list file holds it: CR and LF inside an entry would split it
// into two lines, so each becomes a blank.
void AppendLine(std::string& out, std::string_view entry) {
    const std::size_t start = out.size();
    out += entry;
    std::replace_if(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(),
                    [](char c) { return c == '\r' || c == '\n'; }, ' ');
    out += "\r\n";
}

constexpr std::size_t kChunk = 1 << 16;

// Writes what `produce` makes, in chunks, into the writer's temporary file.
// `produce` gets the chunk to fill and a `flush` that hands it on.
template <typename Produce>
bool WriteChunks(SafeFileWriter& writer, Produce produce) {
    std::string chunk;
    bool written = true;
    const auto flush = [&] {
        written = written && writer.Write(chunk);
        chunk.clear();
        return written;
    };
    return produce(chunk, flush) && flush() && writer.Commit();
}


// Splits a text into lines: CR LF, CR and LF each end a line, and a last
// line without a line end counts too. Each line keeps its first 1024 bytes.
std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(text.substr(start, std::min(end - start, kListLineMax)));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
    return lines;
}

// Blanks as the settings reader sees them around keys, "=" and values.
std::string_view TrimView(std::string_view text) {
    while (!text.empty() && IsBlank(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && IsBlank(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string ProjectFolder() {
#ifdef _WIN32
    return ".\\Projects\\";
#else
    return "./Projects/";
#endif
}

std::string ProjectPath(std::string_view baseName, ProjectFileKind kind) {
    std::string path = ProjectFolder();
    path += baseName;
    path += Suffix(kind);
    return path;
}

void CreateProjectFolder() {
    std::error_code ignored;
    std::filesystem::create_directory("Projects", ignored);
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

FileSet::FileSet(View& view) : view_(view) {}
FileSet::~FileSet() = default;

FileSet& FileSet::Add(std::string path, const std::function<bool(SafeFileWriter&)>& write) {
    if (failed_) return *this;
    auto writer = std::make_unique<SafeFileWriter>(std::move(path));
    if (!writer->Open()) {
        ShowInformation(view_, "Error open file for write: " + writer->Path() + ": " + writer->Reason());
        failed_ = true;
    } else if (!write(*writer)) {
        ShowInformation(view_, "Error write to file. May be disk is full. " + writer->Path() + ": " + writer->Reason());
        failed_ = true;
    }
    writers_.push_back(std::move(writer));
    return *this;
}

FileSet& FileSet::Text(std::string path, std::string_view text) {
    return Add(std::move(path), [&](SafeFileWriter& writer) {
        return WriteChunks(writer, [&](std::string& chunk, auto&&) {
            chunk = text;
            return true;
        });
    });
}

FileSet& FileSet::List(std::string path, const std::vector<std::string>& items) {
    return Add(std::move(path), [&](SafeFileWriter& writer) {
        return WriteChunks(writer, [&](std::string& chunk, auto&& flush) {
            for (const std::string& item : items) {
                AppendLine(chunk, item);
                if (chunk.size() >= kChunk && !flush()) return false;
            }
            return true;
        });
    });
}

// The shared lists are written straight from the list, row by row, so that
// a large crawl is not copied whole for its save.
FileSet& FileSet::List(std::string path, const ResultList& items) {
    return Add(std::move(path), [&](SafeFileWriter& writer) {
        return WriteChunks(writer, [&](std::string& chunk, auto&& flush) {
            bool written = true;
            items.ForEach([&](std::string_view item) {
                AppendLine(chunk, item);
                written = chunk.size() < kChunk || flush();
                return written;
            });
            return written;
        });
    });
}

FileSet& FileSet::List(std::string path, const PageList& rows) {
    return Add(std::move(path), [&](SafeFileWriter& writer) {
        return WriteChunks(writer, [&](std::string& chunk, auto&& flush) {
            bool written = true;
            rows.ForEachRow([&](std::string_view webPage, std::string_view result) {
                AppendLine(chunk, webPage.substr(0, kPageCellMax));
                AppendLine(chunk, result.substr(0, kPageCellMax));
                written = chunk.size() < kChunk || flush();
                return written;
            });
            return written;
        });
    });
}

bool FileSet::Commit() {
    if (failed_) {
        writers_.clear();  // the temporaries go, the old files stay
        return false;
    }
    // A folder where a file of the set belongs would stop the renames half
    // way, with part of the set new: it is found before any rename.
    for (const std::unique_ptr<SafeFileWriter>& writer : writers_) {
        std::error_code error;
        if (std::filesystem::symlink_status(writer->Path(), error).type() == std::filesystem::file_type::directory) {
            ShowInformation(view_, "Error open file for write: " + writer->Path() + ": " + std::strerror(EISDIR));
            writers_.clear();
            return false;
        }
    }
    for (const std::unique_ptr<SafeFileWriter>& writer : writers_) {
        if (!writer->Replace()) {
            ShowInformation(view_, "Error open file for write: " + writer->Path() + ": " + writer->Reason());
            writers_.clear();
            return false;
        }
    }
    writers_.clear();
    return true;
}

bool WriteTextFile(View& view, const std::string& path, std::string_view text) {
    return FileSet(view).Text(path, text).Commit();
}

bool WriteListFile(View& view, const std::string& path, const std::vector<std::string>& items) {
    return FileSet(view).List(path, items).Commit();
}

bool WriteListFile(View& view, const std::string& path, const ResultList& items) {
    return FileSet(view).List(path, items).Commit();
}

std::optional<std::string> ReadWholeFile(View& view, const std::string& path) {
    FileBytes file = ReadFileBytes(path);
    switch (file.status) {
        case ReadStatus::ok: break;
        case ReadStatus::cannotOpen:
            ShowInformation(view, "Error open file: " + path + (file.reason.empty() ? "" : ": " + file.reason));
            return std::nullopt;
        case ReadStatus::noMemory: ShowInformation(view, "Error. Not enough memory!"); return std::nullopt;
        case ReadStatus::shortRead: ShowInformation(view, "Error read file!"); return std::nullopt;
    }
    // The text ends at a NUL byte, as for every reader of these files.
    file.bytes.resize(std::min(file.bytes.size(), file.bytes.find('\0')));
    return std::move(file.bytes);
}

namespace {

// Reads a list file piece by piece, never holding it whole, by the rules of
// a whole read: the text ends at the first NUL byte; CR LF, CR and LF each
// end a line; a last line without a line end counts too; each line keeps
// its first 1024 bytes. `take` gets each line; false after the message.
template <typename Take>
bool ForEachLine(View& view, const std::string& path, Take take) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        ShowInformation(view, "Error open file: " + path + ": " + std::strerror(EISDIR));
        return false;
    }
    errno = 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        ShowInformation(view, "Error open file: " + path + ": " + std::strerror(errno != 0 ? errno : ENOENT));
        return false;
    }
    try {
        std::string line;
        bool open = false;          // a line has begun and not ended
        bool afterReturn = false;   // a CR ended the last line: an LF right after it belongs to it
        std::vector<char> buffer(1 << 16);
        for (bool ended = false; !ended;) {
            const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
            if (got == 0) {
                if (std::ferror(file.get())) {
                    ShowInformation(view, "Error read file!");
                    return false;
                }
                break;
            }
            const char* at = buffer.data();
            const char* const end = at + got;
            while (at < end) {
                if (afterReturn) {
                    afterReturn = false;
                    if (*at == '\n') {
                        ++at;
                        continue;
                    }
                }
                // The run of plain bytes up to the next line end or NUL.
                const char* stop = std::find_if(at, end, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
                if (stop > at) {
                    open = true;
                    const std::size_t room = kListLineMax - std::min(line.size(), kListLineMax);
                    line.append(at, std::min(static_cast<std::size_t>(stop - at), room));
                }
                at = stop;
                if (at == end) break;
                if (*at == '\0') {
                    ended = true;
                    break;
                }
                take(std::string_view(line));
                line.clear();
                open = false;
                afterReturn = *at == '\r';
                ++at;
            }
        }
        if (open) take(std::string_view(line));
    } catch (const std::bad_alloc&) {
        ShowInformation(view, "List box error. Not enough memory!");
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::vector<std::string>> ReadListFile(View& view, const std::string& path) {
    std::vector<std::string> lines;
    if (!ForEachLine(view, path, [&](std::string_view line) { lines.emplace_back(line); })) return std::nullopt;
    return lines;
}

std::optional<std::vector<PageRow>> ReadPageListFile(View& view, const std::string& path) {
    std::vector<PageRow> rows;
    bool webPageNext = true;
    const bool read = ForEachLine(view, path, [&](std::string_view line) {
        if (webPageNext) {
            rows.push_back({std::string(line), std::string()});
        } else {
            rows.back().result = line;
        }
        webPageNext = !webPageNext;
    });
    if (!read) return std::nullopt;
    return rows;
}

bool LoadPageListFile(View& view, const std::string& path, PageList& pages) {
    // Straight into the list's two columns: a page file of millions of rows
    // is held once, not once more as lines or rows on the way.
    std::vector<std::string> webPages;
    std::vector<std::string> results;
    const bool read = ForEachLine(view, path, [&](std::string_view line) {
        if (webPages.size() == results.size()) {
            webPages.emplace_back(line);
        } else {
            results.emplace_back(line);
        }
    });
    if (!read) return false;
    results.resize(webPages.size());
    pages.Assign(std::move(webPages), std::move(results));
    return true;
}

std::string ProjectSettingsText(const AppState& state) {
    std::string text = "[ MAIN ]\r\n";
    text += "TIMER_SEC = " + std::to_string(state.timerSeconds.load()) + "\r\n";
    text += "TIMER_MIN = " + std::to_string(state.timerMinutes.load()) + "\r\n";
    text += "TIMER_HOUR = " + std::to_string(state.timerHours.load()) + "\r\n";
    text += "TRAFFIC = " + std::to_string(state.traffic.load()) + "\r\n";
    text += "GRAB_TYPE = " + std::to_string(state.grabMode) + "\r\n";
    text += "SKIP_MASK = " + state.skipMask + "\r\n";
    return text;
}

std::string AutosaveSettingsText(int grabSelection, std::string_view webSite, std::string_view skipMask) {
    std::string text = "[ MAIN ]\r\n";
    text += "GRAB_TYPE = " + std::to_string(grabSelection) + "\r\n";
    text += "WEB_SITE = " + std::string(webSite.substr(0, kSettingsTextMax)) + "\r\n";
    text += "SKIP_MASK = " + std::string(skipMask.substr(0, kSettingsTextMax)) + "\r\n";
    return text;
}

SettingsReader::SettingsReader(const std::string& path) {
    // A file that cannot be read is no error here: every key takes its default.
    const FileBytes file = ReadFileBytes(path);
    if (file.status != ReadStatus::ok) return;

    bool inSection = false;
    for (const std::string& rawLine : SplitLines(file.bytes)) {
        const std::string_view line = TrimView(rawLine);
        if (!line.empty() && line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name = TrimView(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
            inSection = EqualNoCase(name, kSection);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) continue;
        entries_.emplace_back(TrimView(line.substr(0, equals)), TrimView(line.substr(equals + 1)));
    }
}

std::optional<std::string> SettingsReader::Value(std::string_view key) const {
    for (const auto& [name, value] : entries_) {
        if (!EqualNoCase(name, key)) continue;
        std::string_view v = value;
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
        return std::string(v);
    }
    return std::nullopt;
}

std::int64_t SettingsReader::Number(std::string_view key) const {
    const std::optional<std::string> value = Value(key);
    if (!value) return 0;
    std::size_t i = 0;
    const bool negative = i < value->size() && (*value)[i] == '-';
    if (i < value->size() && ((*value)[i] == '-' || (*value)[i] == '+')) ++i;
    std::int64_t number = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (; i < value->size() && (*value)[i] >= '0' && (*value)[i] <= '9'; ++i) {
        const int digit = (*value)[i] - '0';
        number = number > (kMax - digit) / 10 ? kMax : number * 10 + digit;  // saturates
    }
    return negative ? -number : number;
}

int SettingsInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

std::string SettingsReader::Text(std::string_view key) const {
    std::string text = Value(key).value_or(std::string());
    if (text.size() > kSettingsTextMax) text.resize(kSettingsTextMax);
    return text;
}

}  // namespace veltrano
