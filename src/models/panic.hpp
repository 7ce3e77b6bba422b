// Panics: internal invariant failures. They are not results; they unwind the
// native stack as a `Panic` carrying the message, and every entry frame of the
// binding layer catches them and raises PanicException.
#pragma once

#include <source_location>
#include <string>

namespace magnifex {

struct Panic {
    std::string message;
};

// Writes the panic report (thread, source location, message, backtrace hint)
// to standard error, then unwinds with the message as payload.
[[noreturn]] void panic(std::string message,
                        std::source_location where = std::source_location::current());

// Unwinds with the message as payload without a new report (a panic that went
// through Python code and is now resumed).
[[noreturn]] void resume_unwind(std::string message);

}  // namespace magnifex
