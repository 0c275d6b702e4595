// The list-file readers against any file a user may put into Projects.
// Input: one flag byte, then the file. With bit 0 of the flag set, the
// file is preceded by lines up to where the middle of the input
// stands at 64 KiB, so that a line end, a CR LF pair or a NUL falls on the
// edge of the pieces a reader may take.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fake_view.h"
#include "fuzz_support.h"
#include "project/project_store.h"
#include "state/lists.h"

namespace {

// The lines of a list file, read the plain way from memory: the text ends
// at a NUL; CR LF, CR and LF each end a line, and a last line without a
// line end counts too; a line keeps its first 1024 bytes.
std::vector<std::string> PlainLines(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        lines.emplace_back(text.substr(start, std::min(end - start, veltrano::kListLineMax)));
        start = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrano;
    using namespace veltrano::fuzz;
    if (size == 0) return 0;
    const std::string input = Scratch().File("list.txt");
    const std::string copy = Scratch().File("copy.txt");
    const bool straddled = (data[0] & 1) != 0;
    std::string file;
    if (straddled) {
        constexpr std::size_t kPiece = 1 << 16;
        // Few long lines: the roundtrips below stay cheap.
        while (file.size() < kPiece - (size - 1) / 2) file += std::string(1022, 'x') + "\r\n";
        file.resize(kPiece - (size - 1) / 2);
    }
    file += AsText(data + 1, size - 1);
    WriteFileBytes(input, file);

    testing::FakeView view;
    const std::optional<std::vector<std::string>> lines = ReadListFile(view, input);
    FUZZ_CHECK(lines.has_value());
    for (const std::string& line : *lines) {
        FUZZ_CHECK(line.size() <= kListLineMax);
        FUZZ_CHECK(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    }
    FUZZ_CHECK(*lines == PlainLines(file));

    // Two lines to a row, the last row's "Result" empty when the count is odd.
    const std::optional<std::vector<PageRow>> rows = ReadPageListFile(view, input);
    FUZZ_CHECK(rows.has_value());
    FUZZ_CHECK(rows->size() == (lines->size() + 1) / 2);
    for (std::size_t i = 0; i < rows->size(); ++i) {
        FUZZ_CHECK((*rows)[i].webPage == (*lines)[2 * i]);
        FUZZ_CHECK((*rows)[i].result == (2 * i + 1 < lines->size() ? (*lines)[2 * i + 1] : std::string()));
    }

    PageList loaded;
    FUZZ_CHECK(LoadPageListFile(view, input, loaded));
    FUZZ_CHECK(loaded.Rows() == *rows);

    FUZZ_CHECK(view.Messages().empty());
    // Writing knows no pieces; the padding would only slow the roundtrips.
    if (straddled) return 0;

    // What was read is written and read back unchanged.
    FUZZ_CHECK(WriteListFile(view, copy, *lines));
    FUZZ_CHECK(ReadListFile(view, copy) == lines);

    ResultList results;
    results.Assign(*lines);
    FUZZ_CHECK(WriteListFile(view, copy, results));
    FUZZ_CHECK(ReadListFile(view, copy) == lines);

    // A page file keeps at most 1023 bytes of a cell.
    PageList pages;
    pages.Assign(*rows);
    FUZZ_CHECK(FileSet(view).List(copy, pages).Commit());
    std::vector<PageRow> cut = *rows;
    for (PageRow& row : cut) {
        row.webPage.resize(std::min(row.webPage.size(), kPageCellMax));
        row.result.resize(std::min(row.result.size(), kPageCellMax));
    }
    FUZZ_CHECK(ReadPageListFile(view, copy) == cut);

    FUZZ_CHECK(view.Messages().empty());
    return 0;
}
