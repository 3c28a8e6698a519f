#pragma once
// RegistryKey: an open registry key, closed when it goes (also when the code using it
// raises), with the registry's error code when it could not be opened.

#include <windows.h>

#include <string>

class RegistryKey {
public:
    // Opens an existing key for reading.
    static RegistryKey openForReading(HKEY root, const wchar_t* subkey) {
        RegistryKey k;
        k.error_ = ::RegOpenKeyExW(root, subkey, 0, KEY_READ, &k.key_);
        k.keepOnlyIfOpened();
        return k;
    }
    // Opens the key for setting values, creating it and missing parents. Only the right
    // to set values is asked for: a key that an administrator has opened to users for
    // that is then writable by them, which full access is not.
    static RegistryKey createForWriting(HKEY root, const std::wstring& subkey) {
        RegistryKey k;
        k.error_ = ::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE, nullptr, &k.key_, nullptr);
        k.keepOnlyIfOpened();
        return k;
    }

    RegistryKey(RegistryKey&& other) noexcept : key_(other.key_), error_(other.error_) {
        other.key_ = nullptr;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    RegistryKey& operator=(RegistryKey&&) = delete;
    ~RegistryKey() {
        if (key_)
            ::RegCloseKey(key_);
    }

    HKEY get() const { return key_; }
    LSTATUS error() const { return error_; }

private:
    RegistryKey() = default;
    void keepOnlyIfOpened() {
        if (error_ != ERROR_SUCCESS)
            key_ = nullptr;
    }

    HKEY key_ = nullptr;
    LSTATUS error_ = ERROR_SUCCESS;
};
