// Owners for Win32 handles. Each frees its handle in its destructor, converts to the raw
// handle so that calls stay plain, moves but never copies, and says with `if (owner)`
// whether it holds a usable handle. For the .cpp files of this folder only: it brings
// <windows.h>, which no portable header may see.
#pragma once

#include <windows.h>
// After <windows.h>, which it needs.
#include <objbase.h>

#include <utility>

namespace win {

// The owner of one handle; `Traits` name its type, its empty value, and how it is freed.
template <class Traits>
class Scoped {
  public:
    using Handle = typename Traits::Handle;

    Scoped() = default;
    explicit Scoped(Handle handle) : handle_(handle) {}
    ~Scoped() { Reset(); }
    Scoped(Scoped&& other) noexcept : handle_(other.Release()) {}
    Scoped& operator=(Scoped&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

    operator Handle() const { return handle_; }  // NOLINT: plain calls are the point
    Handle Get() const { return handle_; }
    explicit operator bool() const { return Traits::IsValid(handle_); }

    // For a call that hands out a handle through a pointer; what was held goes first.
    Handle* Put() {
        Reset();
        return &handle_;
    }
    // Gives the handle up to a new owner (a window that takes a region, say).
    Handle Release() { return std::exchange(handle_, Traits::Empty()); }
    void Reset(Handle handle = Traits::Empty()) {
        if (Traits::IsValid(handle_)) Traits::Free(handle_);
        handle_ = handle;
    }

  private:
    Handle handle_ = Traits::Empty();
};

// Handles that are empty when null, freed by `FreeFn`.
template <class H, auto FreeFn>
struct NullIsEmpty {
    using Handle = H;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Free(Handle h) { FreeFn(h); }
};

// Kernel handles: CreateFile and FindFirstFile fail with INVALID_HANDLE_VALUE, the others
// with null; neither is closed.
template <auto FreeFn>
struct KernelHandleTraits : NullIsEmpty<HANDLE, FreeFn> {
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
};

// Files, processes, threads, tokens, mutexes.
using UniqueHandle = Scoped<KernelHandleTraits<&CloseHandle>>;
using ScopedFind = Scoped<KernelHandleTraits<&FindClose>>;
using ScopedKey = Scoped<NullIsEmpty<HKEY, &RegCloseKey>>;
// RegisterEventSourceW's handle.
using ScopedEventSource = Scoped<NullIsEmpty<HANDLE, &DeregisterEventSource>>;

// A DLL the program loaded itself; never a module of GetModuleHandle.
using ScopedLibrary = Scoped<NullIsEmpty<HMODULE, &FreeLibrary>>;

// Fonts, brushes, pens, bitmaps and regions the program created itself; never a stock
// object or a system colour brush.
template <class T>
using ScopedGdiObject = Scoped<NullIsEmpty<T, &DeleteObject>>;
using ScopedFont = ScopedGdiObject<HFONT>;
using ScopedBrush = ScopedGdiObject<HBRUSH>;
using ScopedPen = ScopedGdiObject<HPEN>;
using ScopedBitmap = ScopedGdiObject<HBITMAP>;
using ScopedRegion = ScopedGdiObject<HRGN>;

// An icon the program created or loaded unshared; LoadIcon's shared icons have no owner.
using ScopedIcon = Scoped<NullIsEmpty<HICON, &DestroyIcon>>;
// A device context from CreateCompatibleDC.
using ScopedMemoryDC = Scoped<NullIsEmpty<HDC, &DeleteDC>>;
// A window the program made for itself (not a form's, whose window procedure must see
// it go while its owner still exists).
using ScopedWindow = Scoped<NullIsEmpty<HWND, &DestroyWindow>>;
// Text the system allocated for us: FormatMessage's with LocalAlloc, the shell's with
// the COM allocator.
using LocalText = Scoped<NullIsEmpty<wchar_t*, &LocalFree>>;
using CoTaskText = Scoped<NullIsEmpty<wchar_t*, &CoTaskMemFree>>;

// A device context of a window (null: the screen), from GetDC.
class ScopedGetDC {
  public:
    explicit ScopedGetDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~ScopedGetDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    ScopedGetDC(const ScopedGetDC&) = delete;
    ScopedGetDC& operator=(const ScopedGetDC&) = delete;
    operator HDC() const { return dc_; }  // NOLINT

  private:
    HWND window_;
    HDC dc_;
};

// BeginPaint to EndPaint.
class ScopedPaint {
  public:
    explicit ScopedPaint(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~ScopedPaint() { EndPaint(window_, &paint_); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;
    operator HDC() const { return dc_; }  // NOLINT

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// Selects an object into a device context and puts the previous one back, so the
// object can be freed afterwards.
class ScopedSelect {
  public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~ScopedSelect() {
        if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A reference to a COM object, released at the end.
template <class T>
class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For a call that hands out an interface through a pointer.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }

  private:
    T* p_ = nullptr;
};

// COM on this thread for the owner's life time. Only an initialisation that succeeded
// (S_FALSE, "already initialised", included) is undone: undoing a refused one would take
// COM away from code that set it up before us.
class ScopedCom {
  public:
    ScopedCom()
        : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ScopedCom() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ScopedCom(const ScopedCom&) = delete;
    ScopedCom& operator=(const ScopedCom&) = delete;

  private:
    HRESULT result_;
};

// The object a window was created for (CreateWindowEx's last argument): kept with the
// window at WM_NCCREATE and found again for every later message; null before that.
template <class Owner>
Owner* WindowOwner(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace win
