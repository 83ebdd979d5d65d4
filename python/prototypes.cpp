#include "python/prototypes.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/utf8.hpp"

namespace lexovia::py {
namespace {

// Slot counts: powers of two, a few times the distinct values a large batch
// of ordinary words meets (about a hundred token texts and token dicts, some
// thousands of syllables), so that collisions stay rare.
constexpr std::size_t STR_SLOTS = 1 << 14;
constexpr std::size_t TOKEN_SLOTS = 1 << 11;
constexpr std::size_t SYLLABLE_SLOTS = 1 << 13;

// A short text stored inline, compared by its bytes.
struct ShortText {
    std::uint8_t size = 0;
    char bytes[CACHED_TEXT_MAX];
    bool holds(std::string_view text) const {
        return size == text.size() && std::memcmp(bytes, text.data(), text.size()) == 0;
    }
    void assign(std::string_view text) {
        size = static_cast<std::uint8_t>(text.size());
        std::memcpy(bytes, text.data(), text.size());
    }
};

std::uint64_t mix(std::uint64_t h, std::uint64_t v) {
    h ^= v;
    h *= 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

// The last rest bytes of a text (1 to 7) as one word for the hash, read by
// fixed-size loads: copying a variable number of bytes into a word on the
// stack and reading it back stalls the load until the copy retires, which
// made that copy most of a short text's hash. after_word says that the
// bytes before the tail belong to the text, so a word ending at the text's
// end may be read. Different tails of one length give different words.
std::uint64_t tail_word(const char* tail, std::size_t rest, bool after_word) {
    const char* end = tail + rest;
    if (after_word) {
        std::uint64_t v;
        std::memcpy(&v, end - 8, 8);
        return v >> (8 * (8 - rest));
    }
    if (rest >= 4) {
        std::uint32_t first, last;
        std::memcpy(&first, tail, 4);
        std::memcpy(&last, end - 4, 4);
        return first | std::uint64_t(last) << 32;
    }
    const auto byte = [](char c) { return std::uint64_t(static_cast<std::uint8_t>(c)); };
    return byte(tail[0]) | byte(tail[rest / 2]) << 8 | byte(end[-1]) << 16;
}

std::uint64_t text_hash(std::uint64_t h, std::string_view text) {
    h = mix(h, text.size());
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t v;
        std::memcpy(&v, text.data() + i, 8);
        h = mix(h, v);
    }
    if (i < text.size()) h = mix(h, tail_word(text.data() + i, text.size() - i, i > 0));
    return h;
}

struct StrSlot {
    PyObject* obj = nullptr;
    ShortText text;
};

struct TokenSlot {
    PyObject* prototype = nullptr;
    TokenText ipa;
    TokenText source;
    TokenType type = TokenType::Consonant;
    std::int8_t vowel_index = 0;
    bool stressed = false;
    bool palatalized = false;
    bool holds(const Token& t) const {
        return type == t.type && vowel_index == t.vowel_index && stressed == t.stressed &&
               palatalized == t.palatalized && ipa == t.ipa && source == t.source;
    }
};

struct SyllableSlot {
    PyObject* prototype = nullptr;
    ShortText ipa;
    ShortText word;
    bool stressed = false;
    bool is_open = false;
};

// The caches live as long as the process; their objects are released only
// when replaced (the module cannot be unloaded).
std::array<StrSlot, STR_SLOTS>& str_slots() {
    static auto* slots = new std::array<StrSlot, STR_SLOTS>();
    return *slots;
}
std::array<TokenSlot, TOKEN_SLOTS>& token_slots() {
    static auto* slots = new std::array<TokenSlot, TOKEN_SLOTS>();
    return *slots;
}
std::array<SyllableSlot, SYLLABLE_SLOTS>& syllable_slots() {
    static auto* slots = new std::array<SyllableSlot, SYLLABLE_SLOTS>();
    return *slots;
}

// Stores a new prototype in a slot, releasing the one it replaces.
void replace(PyObject*& slot, PyObject* obj) {
    PyObject* old = slot;
    slot = Py_NewRef(obj);
    Py_XDECREF(old);
}

PyRef bool_obj(bool v) { return borrow(v ? Py_True : Py_False); }

// Writes the code points of text into data, room for length characters of
// type Char; false unless text is well-formed UTF-8 of exactly length code
// points.
template <typename Char>
bool fill_chars(std::string_view text, void* data, Py_ssize_t length) {
    Char* out = static_cast<Char*>(data);
    Py_ssize_t i = 0;
    std::size_t pos = 0;
    for (; pos < text.size() && i < length; ++i) {
        const auto b0 = static_cast<std::uint8_t>(text[pos]);
        if (b0 < 0x80) {
            out[i] = static_cast<Char>(b0);
            ++pos;
            continue;
        }
        // Two-byte sequences (Cyrillic, IPA) inline; longer ones decoded,
        // which must then take all the bytes their lead byte announces (an
        // ill-formed byte is decoded alone).
        if (b0 >= 0xC2 && b0 <= 0xDF && pos + 1 < text.size() &&
            (static_cast<std::uint8_t>(text[pos + 1]) & 0xC0) == 0x80) {
            out[i] = static_cast<Char>((b0 & 0x1F) << 6 | (static_cast<std::uint8_t>(text[pos + 1]) & 0x3F));
            pos += 2;
            continue;
        }
        const std::size_t expected = b0 >= 0xE0 && b0 <= 0xEF ? 3 : b0 >= 0xF0 && b0 <= 0xF4 ? 4 : 0;
        const std::size_t start = pos;
        const char32_t c = utf8::decode_next(text, pos);
        if (pos - start != expected) return false;
        out[i] = static_cast<Char>(c);
    }
    return i == length && pos == text.size();
}

// to_str() for any bytes: ill-formed ones read as U+FFFD, as the engine
// reads them.
PyRef decoded_str(std::string_view text) {
    Py_ssize_t length = 0;
    char32_t widest = 0;
    for (std::size_t pos = 0; pos < text.size(); ++length) widest = std::max(widest, utf8::decode_next(text, pos));
    PyRef str(PyUnicode_New(length, static_cast<Py_UCS4>(widest)));
    if (!str) return str;
    const int kind = PyUnicode_KIND(str.get());
    void* data = PyUnicode_DATA(str.get());
    Py_ssize_t i = 0;
    for (std::size_t pos = 0; pos < text.size(); ++i) PyUnicode_WRITE(kind, data, i, utf8::decode_next(text, pos));
    return str;
}

}  // namespace

PyRef to_str(std::string_view text) {
    // The engine's texts are well-formed UTF-8, so the str is sized from the
    // bytes alone: its length is the count of lead bytes, and the widest
    // lead byte tells the range of the widest character, which is all that
    // decides how the str stores its characters. One pass then fills it,
    // several times cheaper than decoding twice. Text that turns out not to
    // be well-formed is decoded the slow way.
    Py_ssize_t length = 0;
    std::uint8_t widest_lead = 0;
    for (const char c : text) {
        const auto b = static_cast<std::uint8_t>(c);
        if ((b & 0xC0) != 0x80) {
            ++length;
            widest_lead = std::max(widest_lead, b);
        }
    }
    if (widest_lead < 0x80) {
        PyRef str(PyUnicode_New(length, 0x7F));
        if (str) std::memcpy(PyUnicode_DATA(str.get()), text.data(), text.size());
        return str;
    }
    // Lead bytes C2-C3 start U+0080-U+00FF, C4-EF the rest up to U+FFFF.
    const Py_UCS4 widest = widest_lead < 0xC4 ? 0xFF : widest_lead < 0xF0 ? 0xFFFF : 0x10FFFF;
    PyRef str(PyUnicode_New(length, widest));
    if (!str) return str;
    void* data = PyUnicode_DATA(str.get());
    const bool filled = widest == 0xFF     ? fill_chars<Py_UCS1>(text, data, length)
                        : widest == 0xFFFF ? fill_chars<Py_UCS2>(text, data, length)
                                           : fill_chars<Py_UCS4>(text, data, length);
    return filled ? std::move(str) : decoded_str(text);
}

PyRef str_of_chars(const char32_t* chars, std::size_t n, char32_t widest) {
    PyRef str(PyUnicode_New(static_cast<Py_ssize_t>(n), static_cast<Py_UCS4>(widest)));
    if (!str) return str;
    const auto narrow = [&](auto* out) { std::copy(chars, chars + n, out); };
    switch (PyUnicode_KIND(str.get())) {
        case PyUnicode_1BYTE_KIND:
            narrow(PyUnicode_1BYTE_DATA(str.get()));
            break;
        case PyUnicode_2BYTE_KIND:
            narrow(PyUnicode_2BYTE_DATA(str.get()));
            break;
        default:
            narrow(PyUnicode_4BYTE_DATA(str.get()));
    }
    return str;
}

PyRef cached_str(std::string_view text) {
    if (text.size() > CACHED_TEXT_MAX) return to_str(text);
    StrSlot& slot = str_slots()[text_hash(0, text) & (STR_SLOTS - 1)];
    if (slot.obj != nullptr && slot.text.holds(text)) return borrow(slot.obj);
    PyRef obj = to_str(text);
    if (!obj) return obj;
    replace(slot.obj, obj.get());
    slot.text.assign(text);
    return obj;
}

bool TableStrs::Table::build(const dict::StringTable& table) {
    if (table.size() == 0) return true;
    base_ = table[0].data();
    const std::string_view last = table[table.size() - 1];
    by_offset_.assign(static_cast<std::size_t>(last.data() + last.size() - base_) + 1, Slot{});
    strs_.reserve(table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::string_view text = table[i];
        PyRef str = to_str(text);
        if (!str) return false;
        // An empty text starts where the next one does: the longer keeps
        // the slot, and the empty one is found by cached_str().
        Slot& slot = by_offset_[static_cast<std::size_t>(text.data() - base_)];
        if (slot.str == nullptr || slot.size == 0) slot = Slot{str.get(), text.size()};
        strs_.push_back(std::move(str));
    }
    return true;
}

PyRef TableStrs::Table::get(std::string_view text) const {
    // Unsigned, so that a text before the arena is far beyond its end.
    const std::uintptr_t offset =
        reinterpret_cast<std::uintptr_t>(text.data()) - reinterpret_cast<std::uintptr_t>(base_);
    if (offset < by_offset_.size()) {
        const Slot& slot = by_offset_[offset];
        if (slot.str != nullptr && slot.size == text.size()) return borrow(slot.str);
    }
    return cached_str(text);
}

const TableStrs& TableStrs::none() {
    static const TableStrs empty;
    return empty;
}

const TableStrs* TableStrs::of(const dict::Dictionary& d) {
    // Deliberately never destroyed at exit: its strs must not be released
    // after the interpreter has finalised, which a static owner's
    // destructor would do.
    static TableStrs* current = nullptr;
    if (current != nullptr && current->dictionary_ == &d) return current;
    auto fresh = std::make_unique<TableStrs>();
    fresh->dictionary_ = &d;
    if (!fresh->pos_.build(d.pos_tags) || !fresh->keys_.build(d.feature_keys) ||
        !fresh->values_.build(d.feature_values))
        return nullptr;
    delete current;
    current = fresh.release();
    return current;
}

void prefetch_cached_strs(std::span<const std::string> texts) {
    // The slots found in the first round are kept for the second, so that
    // each text is hashed once here. A word has far fewer syllables than
    // this; the texts of a longer list beyond it are not prefetched.
    constexpr std::size_t MAX_PREFETCHED = 32;
    std::array<const StrSlot*, MAX_PREFETCHED> found;
    std::size_t n = 0;
    auto& slots = str_slots();
    // Both rounds load only the slots' own memory; what a slot points to is
    // prefetched, never read.
    for (const std::string& text : texts) {
        if (n == MAX_PREFETCHED) break;
        if (text.size() > CACHED_TEXT_MAX) continue;
        found[n] = &slots[text_hash(0, text) & (STR_SLOTS - 1)];
        __builtin_prefetch(found[n++]);
    }
    for (std::size_t i = 0; i < n; ++i)
        if (PyObject* obj = found[i]->obj) __builtin_prefetch(obj, 1);
}

PyRef token_dict(const Keys& k, const Token& t) {
    const std::uint64_t h =
        text_hash(text_hash(mix(static_cast<std::uint64_t>(t.type) << 16 | std::uint64_t(std::uint8_t(t.vowel_index))
                                                                             << 2 |
                                    std::uint64_t(t.stressed) << 1 | std::uint64_t(t.palatalized),
                                0),
                            t.ipa),
                  t.source);
    TokenSlot& slot = token_slots()[h & (TOKEN_SLOTS - 1)];
    if (slot.prototype == nullptr || !slot.holds(t)) {
        PyRef d(PyDict_Copy(k.token_template));
        if (!d || !put(d.get(), k.ipa, cached_str(t.ipa)) || !put(d.get(), k.source, cached_str(t.source)) ||
            !put(d.get(), k.type, borrow(k.type_names[static_cast<int>(t.type)])) ||
            !put(d.get(), k.vowel_index, PyRef(PyLong_FromLong(t.vowel_index))) ||
            !put(d.get(), k.stressed, bool_obj(t.stressed)) || !put(d.get(), k.palatalized, bool_obj(t.palatalized)))
            return PyRef();
        replace(slot.prototype, d.get());
        slot.ipa = t.ipa;
        slot.source = t.source;
        slot.type = t.type;
        slot.vowel_index = t.vowel_index;
        slot.stressed = t.stressed;
        slot.palatalized = t.palatalized;
    }
    return PyRef(PyDict_Copy(slot.prototype));
}

namespace {

PyRef fresh_syllable_dict(const Keys& k, std::string_view ipa, std::string_view word, bool stressed, bool is_open) {
    PyRef d(PyDict_Copy(k.syllable_template));
    if (!d || !put(d.get(), k.ipa, cached_str(ipa)) || !put(d.get(), k.word, cached_str(word)) ||
        !put(d.get(), k.stressed, bool_obj(stressed)) || !put(d.get(), k.is_open, bool_obj(is_open)))
        return PyRef();
    return d;
}

}  // namespace

PyRef syllable_dict(const Keys& k, std::string_view ipa, std::string_view word, bool stressed, bool is_open) {
    if (ipa.size() > CACHED_TEXT_MAX || word.size() > CACHED_TEXT_MAX)
        return fresh_syllable_dict(k, ipa, word, stressed, is_open);
    const std::uint64_t h = text_hash(text_hash(std::uint64_t(stressed) << 1 | std::uint64_t(is_open), ipa), word);
    SyllableSlot& slot = syllable_slots()[h & (SYLLABLE_SLOTS - 1)];
    if (slot.prototype == nullptr || slot.stressed != stressed || slot.is_open != is_open || !slot.ipa.holds(ipa) ||
        !slot.word.holds(word)) {
        PyRef d = fresh_syllable_dict(k, ipa, word, stressed, is_open);
        if (!d) return d;
        replace(slot.prototype, d.get());
        slot.ipa.assign(ipa);
        slot.word.assign(word);
        slot.stressed = stressed;
        slot.is_open = is_open;
    }
    return PyRef(PyDict_Copy(slot.prototype));
}

}  // namespace lexovia::py
