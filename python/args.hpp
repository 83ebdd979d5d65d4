// Argument parsing and conversion shared by the module's functions.
//
// parse_arguments() matches fast-call arguments (positional, then keywords in
// the order given) to a function's parameters and raises the TypeErrors of a
// fixed message table. The converters read one parameter each; on failure an
// exception is pending and, if it is exactly TypeError, it has been rewrapped
// as "argument '<name>': <message>" with the original __cause__ carried over.
// Other exception types (UnicodeEncodeError for lone surrogates,
// OverflowError) pass through unchanged.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "python/pyref.hpp"
#include "python/word_arg.hpp"

namespace lexovia::py {

struct Signature {
    const char* function;
    std::span<const char* const> parameters;
};

// Fills out[i] with a borrowed reference to the value of parameter i. Returns
// false with TypeError pending on a mismatch.
bool parse_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, std::span<PyObject*> out);

// An integer 0..255 (int, bool or anything with __index__).
bool convert_u8(PyObject* obj, const char* parameter, std::uint8_t& out);

// A str (or subclass), or a sequence of str (not a str itself), the words
// kept as their strs (word_arg.hpp). A str that is not read directly goes
// through its UTF-8 form, whose errors (a lone surrogate) pass through.
// Nothing is kept on failure.
bool convert_word(PyObject* obj, const char* parameter, WordArg& out);
bool convert_word_sequence(PyObject* obj, const char* parameter, std::vector<WordArg>& out);

}  // namespace lexovia::py
