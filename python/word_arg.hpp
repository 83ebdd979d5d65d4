// A word argument kept as the str it came in, read without copying.
//
// The interpreter stores a str whose characters are all below U+0100 with
// one byte per character and one whose characters are below U+10000 with
// two; every Ukrainian word is one of these. Reading those characters
// directly skips the str's UTF-8 form, which the interpreter builds and
// caches in a separate allocation the first time it is asked for, and which
// a lookup would then read from cold memory. Any other str, and one holding
// a lone surrogate, goes through its UTF-8 form, which the argument
// conversion obtains (a lone surrogate then raises the interpreter's
// UnicodeEncodeError, as for every other function of the module).
//
// A WordArg owns a reference to its str, so its characters and its UTF-8
// view live as long as it does. Its text is immutable: the functions here
// may run on any thread, without the interpreter lock, except copy_str().
#pragma once

#include <string>
#include <string_view>

#include "core/dict/lookup.hpp"
#include "core/utf8.hpp"
#include "python/prototypes.hpp"
#include "python/pyref.hpp"

namespace lexovia::py {

struct WordArg {
    PyRef str;
    std::string_view utf8;  // the UTF-8 form, when the characters are not read directly
    bool direct = false;
};

// Whether str's characters can be read directly (see above).
inline bool readable_directly(PyObject* str) {
    const int kind = PyUnicode_KIND(str);
    if (kind == PyUnicode_1BYTE_KIND) return true;
    if (kind != PyUnicode_2BYTE_KIND) return false;
    const Py_UCS2* chars = PyUnicode_2BYTE_DATA(str);
    const Py_ssize_t n = PyUnicode_GET_LENGTH(str);
    for (Py_ssize_t i = 0; i < n; ++i)
        if (chars[i] >= 0xD800 && chars[i] <= 0xDFFF) return false;
    return true;
}

// Room normalize_direct() needs for a word of n characters.
inline std::size_t normalized_room(Py_ssize_t n) { return static_cast<std::size_t>(n) * dict::NORMALIZED_CHAR_MAX; }

// Calls each(c) for every character of a directly read word, in order, the
// loop made once per storage width.
template <typename Each>
inline void for_each_direct_char(const WordArg& word, Each&& each) {
    PyObject* s = word.str.get();
    const Py_ssize_t n = PyUnicode_GET_LENGTH(s);
    const auto run = [&](const auto* chars) {
        for (Py_ssize_t i = 0; i < n; ++i) each(static_cast<char32_t>(chars[i]));
    };
    if (PyUnicode_KIND(s) == PyUnicode_1BYTE_KIND) run(PyUnicode_1BYTE_DATA(s));
    else run(PyUnicode_2BYTE_DATA(s));
}

// Writes dict::normalize_word() of a directly read word's text at out (room
// for normalized_room() bytes) and returns the end of what it wrote.
inline char* normalize_direct(const WordArg& word, char* out) {
    for_each_direct_char(word, [&](char32_t c) { out = dict::normalize_char(c, out); });
    return out;
}

// Most bytes one character of a directly read word takes in UTF-8 (a
// two-byte str holds no character above U+FFFF).
inline constexpr std::size_t DIRECT_UTF8_MAX = 3;

// The word's text as UTF-8: its UTF-8 view, or, for a directly read word,
// its characters encoded into buffer (which the view then points into).
inline std::string_view word_utf8(const WordArg& word, std::string& buffer) {
    if (!word.direct) return word.utf8;
    buffer.resize(static_cast<std::size_t>(PyUnicode_GET_LENGTH(word.str.get())) * DIRECT_UTF8_MAX);
    char* out = buffer.data();
    for_each_direct_char(word, [&](char32_t c) { out += utf8::encode(c, out); });
    buffer.resize(static_cast<std::size_t>(out - buffer.data()));
    return buffer;
}

// Sets form to dict::normalize_word() of the word's text.
inline void normalized_form(const WordArg& word, std::string& form) {
    if (!word.direct) {
        form = dict::normalize_word(word.utf8);
        return;
    }
    form.resize(normalized_room(PyUnicode_GET_LENGTH(word.str.get())));
    form.resize(static_cast<std::size_t>(normalize_direct(word, form.data()) - form.data()));
}

// Words up to this many characters are normalised on the stack (a word of
// Ukrainian is a dozen or two); longer ones use the heap.
inline constexpr Py_ssize_t STACK_WORD_CHARS = 32;

// dict::normalize_word() of a word's text, written on the stack for a
// directly read word of up to STACK_WORD_CHARS characters and on the heap
// otherwise. The view lives as long as the object, which stays where it was
// made.
class NormalizedForm {
public:
    explicit NormalizedForm(const WordArg& word) {
        if (word.direct && PyUnicode_GET_LENGTH(word.str.get()) <= STACK_WORD_CHARS) {
            view_ = std::string_view(stack_, static_cast<std::size_t>(normalize_direct(word, stack_) - stack_));
        } else {
            normalized_form(word, heap_);
            view_ = heap_;
        }
    }
    NormalizedForm(const NormalizedForm&) = delete;
    NormalizedForm& operator=(const NormalizedForm&) = delete;

    std::string_view view() const { return view_; }

private:
    char stack_[STACK_WORD_CHARS * dict::NORMALIZED_CHAR_MAX];
    std::string heap_;
    std::string_view view_;
};

// dict::lookup() of the word, normalised from its characters when they are
// read directly. The form the result keeps is exactly as long as it needs.
inline dict::LookupResult lookup_word(const dict::Dictionary& d, const WordArg& word) {
    const NormalizedForm form(word);
    return dict::lookup_normalized(d, std::string(form.view()));
}

// A new str with the word's text (never the argument itself, so that a
// result is never the object passed in). Needs the interpreter lock.
inline PyRef copy_str(const WordArg& word) {
    if (!word.direct) return to_str(word.utf8);
    PyObject* s = word.str.get();
    return PyRef(PyUnicode_FromKindAndData(PyUnicode_KIND(s), PyUnicode_DATA(s), PyUnicode_GET_LENGTH(s)));
}

}  // namespace lexovia::py
