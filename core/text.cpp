#include "core/text.h"

#include <cstdarg>
#include <cstdio>

namespace qv {
namespace {

void appendV(std::string& out, const char* format, std::va_list args) {
    char small[256];
    std::va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return;
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.append(small, static_cast<std::size_t>(n));
        return;
    }
    const std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(n) + 1);
    std::vsnprintf(&out[old], static_cast<std::size_t>(n) + 1, format, args);
    out.resize(old + static_cast<std::size_t>(n));
}

}  // namespace

std::string formatText(const char* format, ...) {
    std::string out;
    std::va_list args;
    va_start(args, format);
    appendV(out, format, args);
    va_end(args);
    return out;
}

void appendText(std::string& out, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    appendV(out, format, args);
    va_end(args);
}

}  // namespace qv
