#include "python/prototypes.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

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

std::uint64_t text_hash(std::uint64_t h, std::string_view text) {
    h = mix(h, text.size());
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t v;
        std::memcpy(&v, text.data() + i, 8);
        h = mix(h, v);
    }
    if (i < text.size()) {
        std::uint64_t v = 0;
        std::memcpy(&v, text.data() + i, text.size() - i);
        h = mix(h, v);
    }
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

}  // namespace

PyRef to_str(std::string_view text) {
    // The engine's texts are well-formed UTF-8, so the str is built straight
    // from the code points: one pass to size it, one to fill it, which is
    // several times cheaper than the general decoder for short texts.
    Py_ssize_t length = 0;
    char32_t widest = 0;
    for (std::size_t pos = 0; pos < text.size(); ++length) widest = std::max(widest, utf8::decode_next(text, pos));
    PyRef str(PyUnicode_New(length, static_cast<Py_UCS4>(widest)));
    if (!str) return str;
    if (widest < 0x80) {
        std::memcpy(PyUnicode_DATA(str.get()), text.data(), text.size());
        return str;
    }
    const int kind = PyUnicode_KIND(str.get());
    void* data = PyUnicode_DATA(str.get());
    Py_ssize_t i = 0;
    for (std::size_t pos = 0; pos < text.size(); ++i) PyUnicode_WRITE(kind, data, i, utf8::decode_next(text, pos));
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
