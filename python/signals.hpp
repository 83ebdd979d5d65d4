// Letting Python's signal handlers run during long calls.
//
// The interpreter runs signal handlers (KeyboardInterrupt for Ctrl-C among
// them) only between bytecodes, and every function of the module holds the
// interpreter lock for its whole call, so a long batch or a very long word
// would keep Ctrl-C waiting until the call ends. Long loops count their units
// of work (words, tokens) through a SignalCheck, which asks the interpreter
// to run pending handlers every SIGNAL_CHECK_INTERVAL units. When a handler
// raises, the check returns false with that exception pending and keeps
// returning false, and interrupted() tells the binding to let the exception
// propagate as it is (not to report a failed result object) once everything
// built so far has been released.
//
// Use it only on the thread that holds the interpreter lock. Handlers run on
// the main thread; on any other thread the check finds nothing to do.
#pragma once

#include <cstddef>

#include "python/pyref.hpp"

namespace lexovia::py {

// Units of work between two checks: a few thousand words or tokens take a
// few milliseconds at most, so Ctrl-C is answered at once, while the check
// (an atomic read when no signal is pending) stays out of the profile.
inline constexpr std::size_t SIGNAL_CHECK_INTERVAL = 4096;

class SignalCheck {
public:
    // Counts `units` of work done; false once a signal handler has raised.
    bool operator()(std::size_t units = 1) {
        if (interrupted_) return false;
        pending_ += units;
        if (pending_ < SIGNAL_CHECK_INTERVAL) return true;
        pending_ = 0;
        if (PyErr_CheckSignals() == 0) return true;
        interrupted_ = true;
        return false;
    }

    bool interrupted() const { return interrupted_; }

private:
    std::size_t pending_ = 0;
    bool interrupted_ = false;
};

}  // namespace lexovia::py
