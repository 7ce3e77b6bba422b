#include "models/panic.hpp"

#include <pthread.h>

#include <cstdio>

namespace magnifex {

namespace {

void write_report(const std::string& message, const std::source_location& where) {
    char name[64] = "<unnamed>";
    if (pthread_getname_np(pthread_self(), name, sizeof name) != 0) {
        std::snprintf(name, sizeof name, "<unnamed>");
    }
    std::fprintf(stderr,
                 "\nthread '%s' panicked at %s:%u:%u:\n%s\n"
                 "note: run the interpreter under gdb with `catch throw` to get a backtrace\n",
                 name, where.file_name(), static_cast<unsigned>(where.line()),
                 static_cast<unsigned>(where.column()), message.c_str());
    std::fflush(stderr);
}

}  // namespace

void panic(std::string message, std::source_location where) {
    write_report(message, where);
    throw Panic{std::move(message)};
}

void resume_unwind(std::string message) { throw Panic{std::move(message)}; }

}  // namespace magnifex
