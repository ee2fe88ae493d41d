#include "platform/portable/call_log.h"

#include <cstdio>

namespace portable {

namespace {

bool log_on = false;

std::string hex(UINT_PTR value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%llX", static_cast<unsigned long long>(value));
    return buffer;
}

}  // namespace

bool call_log_enabled() {
    return log_on;
}

void set_call_log_enabled(bool on) {
    log_on = on;
}

std::vector<std::string>& call_log_entries() {
    static std::vector<std::string> entries;
    return entries;
}

std::string log_arg(LPCSTR text) {
    if (text == nullptr)
        return "NULL";
    if (IS_INTRESOURCE(text))
        return "#" + std::to_string(reinterpret_cast<UINT_PTR>(text));
    return "\"" + std::string(text) + "\"";
}

std::string log_arg(Hex value) {
    return hex(value.value);
}

std::string log_arg(const void* handle) {
    return handle == nullptr ? "NULL" : hex(reinterpret_cast<UINT_PTR>(handle));
}

std::string log_arg(std::nullptr_t) {
    return "NULL";
}

std::string log_arg(const RECT* r) {
    if (r == nullptr)
        return "NULL";
    return "{" + std::to_string(r->left) + ", " + std::to_string(r->top) + ", " +
           std::to_string(r->right) + ", " + std::to_string(r->bottom) + "}";
}

std::string log_arg(const POINT* p) {
    if (p == nullptr)
        return "NULL";
    return "{" + std::to_string(p->x) + ", " + std::to_string(p->y) + "}";
}

std::string log_arg(const MSG* m) {
    if (m == nullptr)
        return "NULL";
    return "{" + log_arg(m->hwnd) + ", " + hex(m->message) + "}";
}

std::string log_arg(const SCROLLINFO* si) {
    if (si == nullptr)
        return "NULL";
    std::string s = "{mask " + hex(si->fMask);
    if ((si->fMask & SIF_RANGE) != 0)
        s += ", range " + std::to_string(si->nMin) + ".." + std::to_string(si->nMax);
    if ((si->fMask & SIF_PAGE) != 0)
        s += ", page " + std::to_string(si->nPage);
    if ((si->fMask & SIF_POS) != 0)
        s += ", pos " + std::to_string(si->nPos);
    return s + "}";
}

std::string log_arg(const WNDCLASSA* wc) {
    return wc == nullptr ? "NULL" : log_arg(wc->lpszClassName);
}

std::string log_arg(const WNDCLASSEXA* wc) {
    if (wc == nullptr)
        return "NULL";
    return log_arg(wc->lpszClassName) + ", style " + hex(wc->style) + ", size " +
           std::to_string(wc->cbSize);
}

}  // namespace portable
