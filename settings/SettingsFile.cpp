#include "settings/SettingsFile.h"

#include <stdlib.h>

#include "common/HandleOwners.h"

namespace {

// Another program that has a file open for a moment (a virus scanner, a
// sync tool at logon) makes opening or replacing it fail with a sharing
// error; a wait this long is worth it, a longer one would hold up the start.
DWORD const kBusyRetryMs = 50;
int const kBusyRetries = 20;

// `size` bytes at most; `size` becomes the count read.
bool readAll(HANDLE file, unsigned char* bytes, DWORD& size)
{
    DWORD done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!ReadFile(file, bytes + done, size - done, &got, nullptr))
            return false;
        if (got == 0)
            break; // the file shrank while we read it; take what is there
        done += got;
    }
    size = done;
    return true;
}

HANDLE openForReading(wchar_t const* path)
{
    for (int attempt = 0;; ++attempt) {
        HANDLE const file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION ||
            attempt >= kBusyRetries)
            return file; // the last error stays for the caller
        Sleep(kBusyRetryMs);
    }
}

bool writeAll(HANDLE file, unsigned char const* bytes, size_t size)
{
    while (size > 0) {
        DWORD const chunk = size > 0x10000 ? 0x10000 : DWORD(size);
        DWORD written = 0;
        if (!WriteFile(file, bytes, chunk, &written, nullptr) || written == 0)
            return false;
        bytes += written;
        size -= written;
    }
    return true;
}

// "Access denied" is the answer both for a file that another program holds
// for a moment and for one this account may never replace, or a folder in
// its place. Only the first is worth waiting for.
bool mayBecomeReplaceable(wchar_t const* path)
{
    DWORD const attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    ScopedHandle target(CreateFileW(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return target.valid() || GetLastError() != ERROR_ACCESS_DENIED;
}

// Moves the new text into place; a file held for a moment is waited for:
// better than losing the save.
bool replaceFile(wchar_t const* temporary, wchar_t const* path)
{
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD const error = GetLastError();
        bool const busy = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                          (error == ERROR_ACCESS_DENIED && mayBecomeReplaceable(path));
        if (!busy || attempt >= kBusyRetries)
            return false;
        Sleep(kBusyRetryMs);
    }
}

} // namespace

SettingsBuffer::~SettingsBuffer()
{
    free(data_);
}

void SettingsFile::buildPath(wchar_t const* fileName, wchar_t (&dest)[kSettingsPathCapacity]) const
{
    wchar_t module[kSettingsPathCapacity];
    DWORD const length = GetModuleFileNameW(nullptr, module, kSettingsPathCapacity);
    if (length == 0 || length >= kSettingsPathCapacity)
        return; // failed, or cut to fit: not the real path
    wchar_t* lastSlash = nullptr;
    for (wchar_t* p = module; *p != 0; ++p) {
        if (*p == L'\\')
            lastSlash = p;
    }
    if (lastSlash == nullptr)
        return;
    *lastSlash = 0;

    size_t const dirLength = size_t(lastSlash - module);
    size_t nameLength = 0;
    while (fileName[nameLength] != 0)
        ++nameLength;
    if (dirLength + 1 + nameLength + 1 > kSettingsPathCapacity)
        return;
    size_t at = copyText(dest, kSettingsPathCapacity, module);
    dest[at++] = L'\\';
    copyText(dest + at, kSettingsPathCapacity - at, fileName);
}

SettingsReadResult SettingsFile::readText(wchar_t const* path, SettingsBuffer& dest) const
{
    if (path == nullptr || path[0] == 0)
        return SettingsReadResult::Unreadable;
    ScopedHandle file(openForReading(path));
    if (!file.valid()) {
        DWORD const error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return SettingsReadResult::MissingOrEmpty;
        return SettingsReadResult::Unreadable;
    }
    DWORD sizeHigh = 0;
    DWORD const size = GetFileSize(file.get(), &sizeHigh);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return SettingsReadResult::Unreadable;
    if (sizeHigh != 0 || size > kMaxFileBytes)
        return SettingsReadResult::Unreadable;
    if (size == 0)
        return SettingsReadResult::MissingOrEmpty;

    unsigned char* bytes = static_cast<unsigned char*>(malloc(size));
    wchar_t* text = static_cast<wchar_t*>(malloc((size_t(size) + 1) * sizeof(wchar_t)));
    DWORD read = size;
    bool const ok = bytes != nullptr && text != nullptr && readAll(file.get(), bytes, read);
    if (!ok || read == 0) {
        free(bytes);
        free(text);
        return ok ? SettingsReadResult::MissingOrEmpty : SettingsReadResult::Unreadable;
    }
    size_t const length = decodeSettingsBytes(bytes, read, text);
    free(bytes);
    free(dest.data_);
    dest.data_ = text;
    dest.length_ = length;
    return SettingsReadResult::Read;
}

bool SettingsFile::writeText(wchar_t const* path, wchar_t const* text) const
{
    if (path == nullptr || path[0] == 0 || text == nullptr)
        return false;
    // The temporary name has the target's length (last character replaced),
    // so it fits wherever the target's path fits.
    wchar_t temporary[kSettingsPathCapacity];
    size_t const length = copyText(temporary, kSettingsPathCapacity, path);
    if (path[length] != 0 || length < 2)
        return false;
    temporary[length - 1] = temporary[length - 1] == L'~' ? L'_' : L'~';

    // Windows refuses to replace a read-only file; Wine does not. Refuse the
    // same way everywhere: the user marked it so.
    DWORD const attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return false;

    size_t const size = encodeSettingsText(text, nullptr, 0);
    unsigned char* bytes = static_cast<unsigned char*>(malloc(size + 1));
    if (bytes == nullptr)
        return false;
    encodeSettingsText(text, bytes, size);

    bool written = false;
    {
        ScopedHandle file(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.valid()) {
            written = writeAll(file.get(), bytes, size) && FlushFileBuffers(file.get());
            written = file.close() && written;
        }
    }
    free(bytes);
    if (written && replaceFile(temporary, path))
        return true;
    DeleteFileW(temporary);
    return false;
}

wchar_t const* SettingsFile::loadOrCreate(wchar_t const* fileName, wchar_t const* defaults,
                                wchar_t (&path)[kSettingsPathCapacity],
                                wchar_t (&content)[kSettingsTextCapacity],
                                SettingsBuffer& whole, SettingsReadResult* readResult) const
{
    buildPath(fileName, path);
    SettingsReadResult const result = readText(path, whole);
    if (readResult != nullptr)
        *readResult = result;
    switch (result) {
    case SettingsReadResult::Read:
        copyWholeLines(whole.text(), content, kSettingsTextCapacity);
        return whole.text();
    case SettingsReadResult::MissingOrEmpty:
        writeText(path, defaults);
        break;
    case SettingsReadResult::Unreadable:
        break;
    }
    copyWholeLines(defaults, content, kSettingsTextCapacity);
    return content;
}
