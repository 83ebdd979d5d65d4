// A list of texts stored in one byte arena.
//
// All bytes live in one buffer and each text is a (start, end) slice of it,
// so a table of hundreds of thousands of lemmas costs one allocation for the
// bytes and eight bytes per text, not a heap string each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lexovia::dict {

class StringTable {
public:
    StringTable() : offsets_{0} {}

    std::size_t size() const { return offsets_.size() - 1; }
    std::string_view operator[](std::size_t i) const {
        return {bytes_.data() + offsets_[i], static_cast<std::size_t>(offsets_[i + 1] - offsets_[i])};
    }

    // Building: reserve room for n texts, append each text's bytes to
    // bytes() and then seal() it.
    void reserve(std::size_t n) { offsets_.reserve(n + 1); }
    std::vector<char>& bytes() { return bytes_; }
    void seal() { offsets_.push_back(bytes_.size()); }
    void shrink_to_fit() {
        bytes_.shrink_to_fit();
        offsets_.shrink_to_fit();
    }
    std::size_t memory_bytes() const { return bytes_.capacity() + offsets_.capacity() * sizeof(std::uint64_t); }

private:
    std::vector<char> bytes_;
    std::vector<std::uint64_t> offsets_;
};

}  // namespace lexovia::dict
