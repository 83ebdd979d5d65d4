// A short UTF-8 text held inside its owner, without a heap allocation.
//
// The IPA and source letters of a token are a few bytes: the longest IPA a
// pass can build is 9 bytes ("t͡ʃʲː"), the longest source 12 (a long
// soft consonant merged with a long sibilant, "тьть" + "сс"). Keeping them
// inline makes a Token trivially copyable, which is what lets the passes
// copy, merge and move tokens cheaply. Growing past the capacity would mean
// a broken invariant of the engine, so it throws std::length_error rather
// than lose text.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace lexovia {

template <std::size_t Capacity>
class InlineText {
    static_assert(Capacity < 256);

public:
    constexpr InlineText() = default;
    constexpr InlineText(std::string_view s) { assign(s); }
    constexpr InlineText(const char* s) : InlineText(std::string_view(s)) {}
    InlineText(const std::string& s) : InlineText(std::string_view(s)) {}

    constexpr InlineText& operator=(std::string_view s) { return assign(s); }
    constexpr InlineText& operator=(const char* s) { return assign(std::string_view(s)); }
    InlineText& operator=(const std::string& s) { return assign(std::string_view(s)); }

    constexpr InlineText& assign(std::string_view s) {
        check(s.size());
        std::copy_n(s.data(), s.size(), data_);
        size_ = static_cast<std::uint8_t>(s.size());
        return *this;
    }
    constexpr InlineText& operator+=(std::string_view s) {
        check(size_ + s.size());
        std::copy_n(s.data(), s.size(), data_ + size_);
        size_ = static_cast<std::uint8_t>(size_ + s.size());
        return *this;
    }

    constexpr std::string_view view() const { return {data_, size_}; }
    constexpr operator std::string_view() const { return view(); }
    std::string str() const { return std::string(view()); }
    constexpr std::size_t size() const { return size_; }
    constexpr bool empty() const { return size_ == 0; }
    constexpr bool ends_with(std::string_view s) const { return view().ends_with(s); }
    constexpr bool contains(std::string_view s) const { return view().find(s) != std::string_view::npos; }
    // Drops n bytes from the end (n <= size()).
    constexpr void remove_suffix(std::size_t n) { size_ = static_cast<std::uint8_t>(size_ - n); }

    friend constexpr bool operator==(const InlineText& a, const InlineText& b) { return a.view() == b.view(); }
    friend constexpr bool operator==(const InlineText& a, std::string_view b) { return a.view() == b; }
    friend constexpr bool operator==(const InlineText& a, const char* b) { return a.view() == b; }
    friend bool operator==(const InlineText& a, const std::string& b) { return a.view() == b; }
    friend std::ostream& operator<<(std::ostream& os, const InlineText& t) { return os << t.view(); }

private:
    static constexpr void check(std::size_t size) {
        if (size > Capacity) throw std::length_error("lexovia: token text longer than its inline capacity");
    }
    char data_[Capacity]{};
    std::uint8_t size_ = 0;
};

}  // namespace lexovia
