#include <cstdio>

#include "platform/portable/test_control.h"
#include "platform/portable/window_state.h"

namespace portable {

namespace {

bool log_on = false;
std::vector<std::string> entries;

}  // namespace

bool call_log_enabled() {
    return log_on;
}

void log_call(std::string text) {
    if (log_on)
        entries.push_back(std::move(text));
}

std::string log_text(LPCSTR text) {
    if (text == nullptr)
        return "NULL";
    if (IS_INTRESOURCE(text))
        return "#" + std::to_string(reinterpret_cast<UINT_PTR>(text));
    return "\"" + std::string(text) + "\"";
}

std::string log_hex(UINT_PTR value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%llX", static_cast<unsigned long long>(value));
    return buffer;
}

std::string log_handle(const void* handle) {
    if (handle == nullptr)
        return "NULL";
    return log_hex(reinterpret_cast<UINT_PTR>(handle));
}

namespace test {

void enable_call_log(bool on) {
    log_on = on;
}
const std::vector<std::string>& call_log() {
    return entries;
}
void clear_call_log() {
    entries.clear();
}

}  // namespace test

}  // namespace portable
