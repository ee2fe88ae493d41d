// NWindow: binds one object to one native window and turns the window's
// messages into calls of the object's virtual window_proc.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// The framework's own message: the first one a subclassed window's object
// gets through the framework (wParam 0, lParam 0).
constexpr UINT WM_NWINDOW_ATTACHED = 0x6FE3;

namespace seam {
struct NWindowInside;  // how the window-framework tests look inside
}

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

    // A window of the framework's class, linked to this object (and its
    // messages to `handler`, when not null) from WM_NCCREATE on.
    bool create_window(DWORD exStyle, const char* title, DWORD style, int x, int y, int width,
                       int height, HWND parent, HMENU menu, NWindow* handler);

    static NWindow* from_handle(HWND hwnd);
    // The linked window; null while none is.
    HWND handle() const { return hwnd; }

    // The message loop of this window (message_loop.cpp).
    int32_t run_modal(bool dialogKeys);
    void end_modal(int32_t result);

  private:
    friend struct seam::NWindowInside;

    // The rest of the framework, which the viewer does not use: a window in a
    // class of the caller's, and a window of a class registered elsewhere,
    // adopted by subclassing it.
    bool create_window_in_class(const char* className, HINSTANCE instance, DWORD exStyle,
                                const char* title, DWORD style, int x, int y, int width, int height,
                                HWND parent, HMENU menu, NWindow* handler);
    bool create_subclassed_window(const char* className, DWORD exStyle, const char* title,
                                  DWORD style, int x, int y, int width, int height, HWND parent,
                                  HMENU menu, NWindow* handler);
    bool subclass();

    static LRESULT CALLBACK class_window_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK subclass_window_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT call_prev_window_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // To the handler's window_proc_for, or else to window_proc.
    LRESULT dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    // The work of WM_NCCREATE for a window of a framework class.
    void attach_at_nccreate(HWND window, const CREATESTRUCTA& cs);
    // Cuts the link at WM_NCDESTROY; may delete the object.
    void unlink_after_ncdestroy(HWND window, bool restore_procedure);
    // Switches the input of the window that a modal loop shuts out (the
    // owner, else the parent) on or off.
    void enable_owner(bool enable) const;

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
