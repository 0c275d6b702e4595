// The four ordered text lists of the program. PageList and ResultList are
// shared by the user-interface thread and the crawl worker: every single
// operation is atomic under the list's own mutex, and adding a text is one
// test-and-append. ExtensionList and PatternList are small lists edited on
// the user-interface thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/folded_index.h"

namespace veltrano {

enum class AddOutcome {
    added,    // appended as the new last entry
    present,  // an equal text (ASCII case folded) was held already
    refused,  // the list is full or memory ran out
};

struct PageRow {
    std::string webPage;
    std::string result;  // empty while the page has not been processed
    bool operator==(const PageRow&) const = default;
};

class PageList {
public:
    PageList() = default;
    PageList(const PageList&) = delete;
    PageList& operator=(const PageList&) = delete;

    // Appends a row with an empty "Result" unless the address is held.
    AddOutcome Add(std::string_view webPage);
    bool Contains(std::string_view webPage) const;

    std::size_t Count() const;
    PageRow Row(std::size_t row) const;  // an empty row when out of range
    std::vector<PageRow> Rows() const;
    // Visits every row in order under the list's lock, without copying the
    // list; `visit` returns false to stop early.
    void ForEachRow(const std::function<bool(std::string_view webPage, std::string_view result)>& visit) const;
    // The "Result" cell of the last row, or empty text for an empty list.
    std::string LastResult() const;
    std::optional<std::size_t> FirstUnprocessed() const;
    bool SetResult(std::size_t row, std::string_view result);

    std::optional<std::size_t> CurrentRow() const;
    void SetCurrentRow(std::optional<std::size_t> row);

    void Clear();
    // Replaces every row; later duplicates stay as rows but are not indexed.
    void Assign(std::vector<PageRow> rows);
    // The same from the two columns, which must be of one length.
    void Assign(std::vector<std::string> webPages, std::vector<std::string> results);

    // The number of rows past which Add refuses (memory is the usual limit).
    void SetLimit(std::size_t limit);

private:
    mutable std::mutex mutex_;
    std::vector<std::string> webPages_;
    std::vector<std::string> results_;
    FoldedIndex index_{webPages_};
    std::optional<std::size_t> current_;
    std::size_t limit_ = std::numeric_limits<std::size_t>::max();
};

class ResultList {
public:
    ResultList() = default;
    ResultList(const ResultList&) = delete;
    ResultList& operator=(const ResultList&) = delete;

    AddOutcome Add(std::string_view text);
    bool Contains(std::string_view text) const;
    std::size_t Count() const;
    std::string At(std::size_t item) const;  // empty text when out of range
    std::vector<std::string> Items() const;
    void ForEach(const std::function<bool(std::string_view item)>& visit) const;
    void Clear();
    void Assign(std::vector<std::string> items);
    void SetLimit(std::size_t limit);

private:
    mutable std::mutex mutex_;
    std::vector<std::string> items_;
    FoldedIndex index_{items_};
    std::size_t limit_ = std::numeric_limits<std::size_t>::max();
};

// A list box of user entries with at most one selected entry.
class EditableList {
public:
    std::size_t Count() const { return items_.size(); }
    const std::string& At(std::size_t item) const { return items_.at(item); }
    const std::vector<std::string>& Items() const { return items_; }

    void Append(std::string text) { items_.push_back(std::move(text)); }
    void Replace(std::size_t item, std::string text);
    bool Erase(std::size_t item);
    void Clear();
    void Assign(std::vector<std::string> items);

    // First entry equal to `text` exactly, or ignoring ASCII case.
    std::optional<std::size_t> FindExact(std::string_view text) const;
    std::optional<std::size_t> FindNoCase(std::string_view text) const;

    std::optional<std::size_t> Selection() const { return selection_; }
    void Select(std::optional<std::size_t> item);

private:
    std::vector<std::string> items_;
    std::optional<std::size_t> selection_;
};

class ExtensionList : public EditableList {};
class PatternList : public EditableList {};

}  // namespace veltrano
