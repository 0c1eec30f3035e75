// Reading and writing the settings files that live beside the executable.
#pragma once

#include <windows.h>

#include "settings/SettingsText.h"

// The whole text of a settings file as read, of any length. Lookups run
// against it while the owner loads; it is freed when the load is done.
class SettingsBuffer {
public:
    SettingsBuffer() = default;
    ~SettingsBuffer();
    SettingsBuffer(SettingsBuffer const&) = delete;
    SettingsBuffer& operator=(SettingsBuffer const&) = delete;

    wchar_t const* text() const { return data_ != nullptr ? data_ : L""; }
    size_t length() const { return length_; }

private:
    friend class SettingsFile;
    wchar_t* data_ = nullptr;
    size_t length_ = 0;
};

enum class SettingsReadResult {
    Read,           // the file held at least one character
    MissingOrEmpty, // safe to create with the default contents
    Unreadable,     // exists but cannot be read (held by another program past a short wait, no
                    // rights, a folder, too large): never overwrite it
};

// Stateless: any two instances behave alike.
class SettingsFile {
public:
    // Largest file taken whole; anything bigger is not a settings file this
    // program wrote and is left alone.
    static DWORD const kMaxFileBytes = 16u * 1024u * 1024u;

    // Full path of `fileName` in the executable's folder. Leaves `dest`
    // unchanged when the executable's path has no backslash, or when the
    // result would not fit MAX_PATH (a cut path would name another file).
    void buildPath(wchar_t const* fileName, wchar_t (&dest)[kSettingsPathCapacity]) const;

    // Reads the whole file, CR LF turned into '\n'; a file another program
    // holds without read sharing is waited for a moment. On any result but
    // Read `dest` is left unchanged.
    SettingsReadResult readText(wchar_t const* path, SettingsBuffer& dest) const;

    // Replaces the file atomically: the text goes to a temporary file in the
    // same folder, is flushed, and then takes the old file's place, so a
    // crash, a kill or a full disk leaves the old text or the new one, never
    // a cut one. Returns whether the new text is in place.
    bool writeText(wchar_t const* path, wchar_t const* text) const;

    bool findValue(wchar_t const* text, wchar_t const* key, wchar_t* dest, size_t capacity) const
    {
        return findSettingValue(text, key, dest, capacity);
    }
    bool parseFlag(wchar_t const* value) const { return ::parseFlag(value); }

    // The sequence both settings owners run: build the path, read the file,
    // and create it with `defaults` when it is missing or empty. `content`
    // receives the text (whole lines, as much as fits); `whole` keeps all of
    // it for the lookups of the load. An existing file that cannot be read is
    // never overwritten: the defaults are then used in memory only.
    // Returns the text to look keys up in: `whole` when the file was read,
    // else `content`. `readResult`, when given, receives what the read found.
    wchar_t const* loadOrCreate(wchar_t const* fileName, wchar_t const* defaults,
                      wchar_t (&path)[kSettingsPathCapacity],
                      wchar_t (&content)[kSettingsTextCapacity], SettingsBuffer& whole,
                      SettingsReadResult* readResult = nullptr) const;
};
