#include "matdb/md_print.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "services/vtout.h"

namespace tarnvel::matdb {

namespace {
long g_print_count = 0;
}  // namespace

long MdPrintCount() {
    return g_print_count;
}

void MdPrint(const char* format, ...) {
    ++g_print_count;
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length >= 0) {
        std::vector<char> text(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, arguments);
        vt_out(text.data());
    }
    va_end(arguments);
}

std::string ErrorText(int saved_errno, const char* words) {
    if (saved_errno != 0) return std::strerror(saved_errno);
    return words;
}

}  // namespace tarnvel::matdb
