// NWindow: binds one object to one native window and turns the window's
// messages into calls of the object's virtual window_proc.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// The framework's own message: the first one a subclassed window's object
// gets through the framework (wParam 0, lParam 0).
constexpr UINT WM_NWINDOW_ATTACHED = 0x6FE3;

class NWindow {
  public:
    NWindow() = default;
    NWindow(const NWindow&) = delete;
    NWindow& operator=(const NWindow&) = delete;
    // Destroys a still-linked window; its last messages go to the default
    // handling, never to this object.
    virtual ~NWindow();

    // Handles one message of this object's window.
    virtual LRESULT window_proc(UINT msg, WPARAM wParam, LPARAM lParam);
    // Handles one message of `target`'s window, for an object that named
    // this one as its handler.
    virtual LRESULT window_proc_for(NWindow* target, UINT msg, WPARAM wParam, LPARAM lParam);

    // Registers the framework's window class once per name; a null name is
    // "NWindow Class Name".
    static void register_window_class(const char* className, HINSTANCE instance);

    bool create_window(DWORD exStyle, const char* title, DWORD style, int x, int y, int width,
                       int height, HWND parent, HMENU menu, NWindow* handler);
    bool create_window_in_class(const char* className, HINSTANCE instance, DWORD exStyle,
                                const char* title, DWORD style, int x, int y, int width, int height,
                                HWND parent, HMENU menu, NWindow* handler);
    // A window of a class registered elsewhere, adopted by subclassing it.
    bool create_subclassed_window(const char* className, DWORD exStyle, const char* title,
                                  DWORD style, int x, int y, int width, int height, HWND parent,
                                  HMENU menu, NWindow* handler);
    bool subclass();

    static NWindow* from_handle(HWND hwnd);
    static LRESULT CALLBACK class_window_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK subclass_window_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT call_prev_window_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // The message loop of this window (message_loop.cpp).
    int32_t run_modal(bool dialogKeys);
    void end_modal(int32_t result);

    // Deletes the object after its window has received WM_NCDESTROY.
    bool auto_delete = false;
    bool in_modal_loop = false;
    int32_t modal_result = 0;
    NWindow* handler = nullptr;
    WNDPROC prev_wnd_proc = nullptr;
    HWND hwnd = nullptr;

    // Set by the first register_window_class; never changes afterwards.
    static inline HINSTANCE module_instance = nullptr;
};
