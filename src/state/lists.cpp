#include "state/lists.h"

#include <new>

#include "text/text_ops.h"

namespace veltrano {

// Appends `text` to `texts` (and `extra`, a parallel column, if given)
// unless the index holds it already. The caller holds the list's mutex.
static AddOutcome AppendIfNew(std::vector<std::string>& texts, std::vector<std::string>* extra,
                              FoldedIndex& index, std::size_t limit, std::string_view text) {
    if (index.Find(text)) return AddOutcome::present;
    if (texts.size() >= limit) return AddOutcome::refused;
    const std::size_t before = texts.size();
    try {
        texts.emplace_back(text);
        if (extra) extra->emplace_back();
        index.Insert(before);
    } catch (const std::bad_alloc&) {
        texts.resize(before);
        if (extra) extra->resize(before);
        return AddOutcome::refused;
    }
    return AddOutcome::added;
}

AddOutcome PageList::Add(std::string_view webPage) {
    std::lock_guard lock(mutex_);
    return AppendIfNew(webPages_, &results_, index_, limit_, webPage);
}

bool PageList::Contains(std::string_view webPage) const {
    std::lock_guard lock(mutex_);
    return index_.Find(webPage).has_value();
}

std::size_t PageList::Count() const {
    std::lock_guard lock(mutex_);
    return webPages_.size();
}

PageRow PageList::Row(std::size_t row) const {
    std::lock_guard lock(mutex_);
    if (row >= webPages_.size()) return {};
    return {webPages_[row], results_[row]};
}

std::vector<PageRow> PageList::Rows() const {
    std::lock_guard lock(mutex_);
    std::vector<PageRow> rows;
    rows.reserve(webPages_.size());
    for (std::size_t i = 0; i < webPages_.size(); ++i) rows.push_back({webPages_[i], results_[i]});
    return rows;
}

void PageList::ForEachRow(const std::function<bool(std::string_view, std::string_view)>& visit) const {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < webPages_.size(); ++i) {
        if (!visit(webPages_[i], results_[i])) return;
    }
}

std::string PageList::LastResult() const {
    std::lock_guard lock(mutex_);
    return results_.empty() ? std::string() : results_.back();
}

std::optional<std::size_t> PageList::FirstUnprocessed() const {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < results_.size(); ++i) {
        if (results_[i].empty()) return i;
    }
    return std::nullopt;
}

bool PageList::SetResult(std::size_t row, std::string_view result) {
    std::lock_guard lock(mutex_);
    if (row >= results_.size()) return false;
    results_[row] = result;
    return true;
}

std::optional<std::size_t> PageList::CurrentRow() const {
    std::lock_guard lock(mutex_);
    return current_;
}

void PageList::SetCurrentRow(std::optional<std::size_t> row) {
    std::lock_guard lock(mutex_);
    current_ = (row && *row < webPages_.size()) ? row : std::nullopt;
}

void PageList::Clear() {
    std::lock_guard lock(mutex_);
    webPages_.clear();
    results_.clear();
    index_.Clear();
    current_.reset();
}

void PageList::Assign(std::vector<PageRow> rows) {
    std::lock_guard lock(mutex_);
    webPages_.clear();
    results_.clear();
    current_.reset();
    webPages_.reserve(rows.size());
    results_.reserve(rows.size());
    for (PageRow& row : rows) {
        webPages_.push_back(std::move(row.webPage));
        results_.push_back(std::move(row.result));
    }
    index_.Rebuild();
}

void PageList::Assign(std::vector<std::string> webPages, std::vector<std::string> results) {
    std::lock_guard lock(mutex_);
    results.resize(webPages.size());
    webPages_ = std::move(webPages);
    results_ = std::move(results);
    current_.reset();
    index_.Rebuild();
}

void PageList::SetLimit(std::size_t limit) {
    std::lock_guard lock(mutex_);
    limit_ = limit;
}

AddOutcome ResultList::Add(std::string_view text) {
    std::lock_guard lock(mutex_);
    return AppendIfNew(items_, nullptr, index_, limit_, text);
}

bool ResultList::Contains(std::string_view text) const {
    std::lock_guard lock(mutex_);
    return index_.Find(text).has_value();
}

std::size_t ResultList::Count() const {
    std::lock_guard lock(mutex_);
    return items_.size();
}

std::string ResultList::At(std::size_t item) const {
    std::lock_guard lock(mutex_);
    return item < items_.size() ? items_[item] : std::string();
}

std::vector<std::string> ResultList::Items() const {
    std::lock_guard lock(mutex_);
    return items_;
}

void ResultList::ForEach(const std::function<bool(std::string_view)>& visit) const {
    std::lock_guard lock(mutex_);
    for (const std::string& item : items_) {
        if (!visit(item)) return;
    }
}

void ResultList::Clear() {
    std::lock_guard lock(mutex_);
    items_.clear();
    index_.Clear();
}

void ResultList::Assign(std::vector<std::string> items) {
    std::lock_guard lock(mutex_);
    items_ = std::move(items);
    index_.Rebuild();
}

void ResultList::SetLimit(std::size_t limit) {
    std::lock_guard lock(mutex_);
    limit_ = limit;
}

void EditableList::Replace(std::size_t item, std::string text) {
    if (item < items_.size()) items_[item] = std::move(text);
}

bool EditableList::Erase(std::size_t item) {
    if (item >= items_.size()) return false;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(item));
    selection_.reset();
    return true;
}

void EditableList::Clear() {
    items_.clear();
    selection_.reset();
}

void EditableList::Assign(std::vector<std::string> items) {
    items_ = std::move(items);
    selection_.reset();
}

std::optional<std::size_t> EditableList::FindExact(std::string_view text) const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i] == text) return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> EditableList::FindNoCase(std::string_view text) const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (EqualNoCase(items_[i], text)) return i;
    }
    return std::nullopt;
}

void EditableList::Select(std::optional<std::size_t> item) {
    selection_ = (item && *item < items_.size()) ? item : std::nullopt;
}

}  // namespace veltrano
