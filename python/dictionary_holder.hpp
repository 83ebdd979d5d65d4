// The process-wide dictionary, loaded from the embedded image on first use.
//
// A once-only holder: the first caller inflates and decodes the image while
// any concurrent caller waits; afterwards every caller gets the same
// immutable Dictionary after one atomic read. A failed load is final: the
// first caller gets "Failed to load embedded lexovia dictionary: <cause>",
// every later one "Lazy instance has previously been poisoned", both as
// PanicException. The Dictionary is never released.
#pragma once

#include "core/dict/dictionary.hpp"
#include "python/pyref.hpp"

namespace lexovia::py {

// The loaded dictionary, or nullptr with PanicException pending.
const dict::Dictionary* force_dictionary();

}  // namespace lexovia::py
