// Small owners of GDI handles. Each releases its handle when it leaves scope
// (or earlier through reset(), where the order of releases matters), so that
// no drawing path can leak a device context, a brush or a bitmap.
#pragma once

#include <windows.h>

// A window's device context, or the screen's for a null window (GetDC).
class ScopedGetDC {
public:
    explicit ScopedGetDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~ScopedGetDC()
    {
        if (dc_ != nullptr)
            ReleaseDC(window_, dc_);
    }
    ScopedGetDC(ScopedGetDC const&) = delete;
    ScopedGetDC& operator=(ScopedGetDC const&) = delete;

    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// A memory device context (CreateCompatibleDC), deleted with DeleteDC.
class ScopedMemoryDC {
public:
    explicit ScopedMemoryDC(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~ScopedMemoryDC() { reset(); }
    ScopedMemoryDC(ScopedMemoryDC const&) = delete;
    ScopedMemoryDC& operator=(ScopedMemoryDC const&) = delete;

    HDC get() const { return dc_; }
    void reset()
    {
        if (dc_ != nullptr)
            DeleteDC(dc_);
        dc_ = nullptr;
    }

private:
    HDC dc_;
};

// A brush, bitmap, pen, font or region, deleted with DeleteObject.
template <typename Handle>
class ScopedGdiObj {
public:
    explicit ScopedGdiObj(Handle handle = nullptr) : handle_(handle) {}
    ~ScopedGdiObj() { reset(); }
    ScopedGdiObj(ScopedGdiObj const&) = delete;
    ScopedGdiObj& operator=(ScopedGdiObj const&) = delete;

    Handle get() const { return handle_; }
    void reset(Handle handle = nullptr)
    {
        if (handle_ != nullptr)
            DeleteObject(handle_);
        handle_ = handle;
    }

private:
    Handle handle_;
};

// Selects an object into a device context and puts the previous one back,
// so the object is free again before either is deleted.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(object != nullptr ? SelectObject(dc, object) : nullptr)
    {
    }
    ~ScopedSelect()
    {
        if (previous_ != nullptr && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    ScopedSelect(ScopedSelect const&) = delete;
    ScopedSelect& operator=(ScopedSelect const&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};
