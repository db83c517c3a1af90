#include "matdb/md_print.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "matdb/matdb.h"
#include "services/vtout.h"

namespace tarnvel::matdb {

namespace {

long g_print_count = 0;

std::vector<std::string>& Notices() {
    static std::vector<std::string> notices;
    return notices;
}

std::string Format(const char* format, std::va_list arguments) {
    std::va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) return {};
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, arguments);
    return std::string(text.data(), static_cast<std::size_t>(length));
}

}  // namespace

long MdPrintCount() {
    return g_print_count;
}

void MdPrint(const char* format, ...) {
    ++g_print_count;
    std::va_list arguments;
    va_start(arguments, format);
    vt_out(Format(format, arguments).c_str());
    va_end(arguments);
}

void MdNotice(const char* format, ...) {
    ++g_print_count;
    std::va_list arguments;
    va_start(arguments, format);
    std::string text = Format(format, arguments);
    va_end(arguments);
    vt_out(text.c_str());
    Notices().push_back(std::move(text));
}

std::string ErrorText(int saved_errno, const char* words) {
    if (saved_errno != 0) return std::strerror(saved_errno);
    return words;
}

}  // namespace tarnvel::matdb

std::vector<std::string> md_take_notices() {
    return std::exchange(tarnvel::matdb::Notices(), {});
}
