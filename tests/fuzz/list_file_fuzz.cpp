// The list-file readers against any file a user may put into Projects. Input: a flag byte, then the file; with bit 0
// set, lines come first up to where the middle of the input stands at 64 KiB, so that a line end, a CR LF pair or a
// NUL falls on the edge of the pieces a reader takes.
#include "fuzz_support.h"

FUZZ_TARGET(bytes) {
    if (bytes.empty()) return;
    const bool straddled = (bytes[0] & 1) != 0;
    const std::size_t edge = straddled ? (std::size_t{1} << 16) - (bytes.size() - 1) / 2 : 0;
    std::string file;
    while (file.size() < edge) file += std::string(1022, 'x') + "\r\n";  // few long lines: cheap to read
    file.resize(edge);
    file += bytes.substr(1);
    const std::string input = fuzz::ScratchFile("list.txt", file);

    // The lines read the plain way: the text ends at a NUL; CR LF, CR and LF end a line, a last line without an end
    // counts too; a line keeps its first 1024 bytes. Two lines make a page row.
    const std::string_view text = std::string_view(file).substr(0, file.find('\0'));
    std::vector<std::string> lines;
    std::vector<PageRow> rows;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        lines.emplace_back(text.substr(start, std::min(end - start, kListLineMax)));
        start = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    for (std::size_t i = 1; i <= lines.size(); i += 2) rows.push_back({lines[i - 1], i < lines.size() ? lines[i] : ""});
    testing::FakeView view;
    PageList loaded;
    FUZZ_CHECK(ReadListFile(view, input) == lines && ReadPageListFile(view, input) == rows &&
               LoadPageListFile(view, input, loaded) && loaded.Rows() == rows);
    if (straddled) return;  // writing knows no pieces

    // What was read is written and read back unchanged; a page file keeps at most 1023 bytes of a cell.
    const std::string copy = fuzz::ScratchFile("copy.txt");
    FUZZ_CHECK(WriteListFile(view, copy, lines) && ReadListFile(view, copy) == lines);
    FUZZ_CHECK(FileSet(view).List(copy, loaded).Commit());
    for (PageRow& row : rows) row = {row.webPage.substr(0, kPageCellMax), row.result.substr(0, kPageCellMax)};
    FUZZ_CHECK(ReadPageListFile(view, copy) == rows && view.Messages().empty());
}
