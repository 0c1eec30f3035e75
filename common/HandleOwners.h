// The owners of the program's system handles, one class for each way of
// releasing one. Each takes its handle when constructed (or opened) and
// releases it when it leaves scope, or earlier through reset() or close()
// where the order of releases matters. None can be copied: two owners of one
// handle would release it twice. A null (or, for files, invalid) handle is
// owned harmlessly and released by nobody.
#pragma once

#include <windows.h>
#include <commctrl.h>

// A kernel handle (file, process, token, mutex), closed with CloseHandle.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle()
    {
        if (valid())
            CloseHandle(handle_);
    }
    ScopedHandle(ScopedHandle const&) = delete;
    ScopedHandle& operator=(ScopedHandle const&) = delete;

    // CreateFileW fails with INVALID_HANDLE_VALUE, the other calls with null.
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }
    // Closes now, reporting failure: a close can be where a write error shows.
    bool close()
    {
        HANDLE const h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return CloseHandle(h) != FALSE;
    }

private:
    HANDLE handle_;
};

// An open registry key, closed with RegCloseKey.
class ScopedKey {
public:
    ScopedKey() = default;
    ~ScopedKey()
    {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    ScopedKey(ScopedKey const&) = delete;
    ScopedKey& operator=(ScopedKey const&) = delete;

    // Asks for no more than the step needs: an account that may read a key
    // but not write it must still see what is there. Once per owner.
    bool open(HKEY root, wchar_t const* path, REGSAM access)
    {
        status_ = RegOpenKeyExW(root, path, 0, access, &key_);
        if (status_ == ERROR_SUCCESS)
            return true;
        key_ = nullptr;
        return false;
    }
    // The open found no such key (rather than refusing it).
    bool missing() const
    {
        return status_ == ERROR_FILE_NOT_FOUND || status_ == ERROR_PATH_NOT_FOUND;
    }
    // Open for writing, creating the key and any missing parents.
    bool openOrCreate(HKEY root, wchar_t const* path)
    {
        if (open(root, path, KEY_SET_VALUE))
            return true;
        key_ = nullptr;
        return RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                               &key_, nullptr) == ERROR_SUCCESS;
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
    LONG status_ = ERROR_SUCCESS;
};

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

// A brush, bitmap, pen, font or region, deleted with DeleteObject. It must
// be selected into no device context by then (ScopedSelect).
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
// so the object is free again before either is deleted. A null object is
// not selected.
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

// An image list, destroyed with ImageList_Destroy.
class ScopedImageList {
public:
    explicit ScopedImageList(HIMAGELIST list) : list_(list) {}
    ~ScopedImageList()
    {
        if (list_ != nullptr)
            ImageList_Destroy(list_);
    }
    ScopedImageList(ScopedImageList const&) = delete;
    ScopedImageList& operator=(ScopedImageList const&) = delete;

    HIMAGELIST get() const { return list_; }

private:
    HIMAGELIST list_;
};
