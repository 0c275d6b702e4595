#include "state/folded_index.h"

#include <limits>
#include <new>

#include "text/text_ops.h"

namespace veltrano {

std::uint64_t FoldedIndex::Hash(std::string_view text) {
    // FNV-1a over the folded bytes.
    std::uint64_t hash = 1469598103934665603ULL;
    for (const char c : text) {
        hash ^= FoldUpper(static_cast<unsigned char>(c));
        hash *= 1099511628211ULL;
    }
    return hash ^ (hash >> 29);
}

std::optional<std::size_t> FoldedIndex::Find(std::string_view text) const {
    if (slots_.empty()) return std::nullopt;
    for (std::size_t slot = Slot(Hash(text));; slot = (slot + 1) & (slots_.size() - 1)) {
        const std::uint32_t entry = slots_[slot];
        if (entry == kEmpty) return std::nullopt;
        if (EqualNoCase(texts_[entry - 1], text)) return entry - 1;
    }
}

bool FoldedIndex::Insert(std::size_t position) {
    if (position >= std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    const std::string_view text = texts_[position];
    for (std::size_t slot = Slot(Hash(text));; slot = (slot + 1) & (slots_.size() - 1)) {
        const std::uint32_t entry = slots_[slot];
        if (entry == kEmpty) {
            slots_[slot] = static_cast<std::uint32_t>(position + 1);
            ++used_;
            return true;
        }
        if (EqualNoCase(texts_[entry - 1], text)) return false;
    }
}

void FoldedIndex::Clear() {
    slots_.clear();
    used_ = 0;
}

void FoldedIndex::Grow() {
    // Built aside first, so a failed allocation leaves the index as it was.
    std::vector<std::uint32_t> grown(slots_.empty() ? 64 : slots_.size() * 2, kEmpty);
    const std::size_t mask = grown.size() - 1;
    for (const std::uint32_t entry : slots_) {
        if (entry == kEmpty) continue;
        std::size_t slot = static_cast<std::size_t>(Hash(texts_[entry - 1])) & mask;
        while (grown[slot] != kEmpty) slot = (slot + 1) & mask;
        grown[slot] = entry;
    }
    slots_.swap(grown);
}

void FoldedIndex::Rebuild() {
    Clear();
    for (std::size_t i = 0; i < texts_.size(); ++i) Insert(i);
}

}  // namespace veltrano
