// Inside the portable core: the log of the calls a program makes, which the
// test control reads. Each entry point logs itself with one call,
//
//     log_call("MoveWindow", hWnd, X, Y, nWidth, nHeight, bRepaint);
//
// and the arguments are formatted only while the log is on: integers in
// decimal, Hex{v} in hexadecimal, handles and other pointers as 0x... or
// NULL, texts quoted (an integer atom as #n), rectangles and points by their
// members.
#pragma once

#include <concepts>
#include <string>
#include <utility>
#include <vector>

#include "platform/portable/user.h"

namespace portable {

struct Hex {
    UINT_PTR value;
};

bool call_log_enabled();
void set_call_log_enabled(bool on);
std::vector<std::string>& call_log_entries();

std::string log_arg(LPCSTR text);
std::string log_arg(Hex value);
std::string log_arg(const void* handle);
std::string log_arg(std::nullptr_t);
std::string log_arg(const RECT* rect);
std::string log_arg(const POINT* point);
std::string log_arg(const MSG* msg);
std::string log_arg(const SCROLLINFO* si);   // the parts its mask names
std::string log_arg(const WNDCLASSA* wc);    // its name
std::string log_arg(const WNDCLASSEXA* wc);  // its name, style and size

std::string log_arg(std::integral auto value) {
    return std::to_string(value);
}

// Preformatted text, for arguments that are described rather than shown.
inline std::string log_arg(const std::string& text) {
    return text;
}

template <typename... Args>
void log_call(const char* function, const Args&... args) {
    if (!call_log_enabled())
        return;
    std::string line = function;
    line += '(';
    [[maybe_unused]] const char* separator = "";
    ((line += separator, line += log_arg(args), separator = ", "), ...);
    line += ')';
    call_log_entries().push_back(std::move(line));
}

}  // namespace portable
