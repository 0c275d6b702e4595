// A hash index over a vector of texts, keyed by their ASCII-case-folded
// form, so that "is this text already held, in any case?" costs O(1).
// The index stores positions into the owner's vector, never copies of the
// texts. It is not locked; the list that owns it locks around both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano {

class FoldedIndex {
public:
    explicit FoldedIndex(const std::vector<std::string>& texts) : texts_(texts) {}
    FoldedIndex(const FoldedIndex&) = delete;
    FoldedIndex& operator=(const FoldedIndex&) = delete;

    // Position of a held text equal to `text` ignoring ASCII case.
    std::optional<std::size_t> Find(std::string_view text) const;

    // Indexes texts_[position] unless an equal text is indexed already;
    // returns false in that case. May throw std::bad_alloc.
    bool Insert(std::size_t position);

    void Clear();

    // Rebuilds the index over the whole vector; the first of equal texts wins.
    void Rebuild();

private:
    static constexpr std::uint32_t kEmpty = 0;  // slots hold position + 1

    static std::uint64_t Hash(std::string_view text);
    void Grow();
    std::size_t Slot(std::uint64_t hash) const { return static_cast<std::size_t>(hash) & (slots_.size() - 1); }

    const std::vector<std::string>& texts_;
    std::vector<std::uint32_t> slots_;
    std::size_t used_ = 0;
};

}  // namespace veltrano
