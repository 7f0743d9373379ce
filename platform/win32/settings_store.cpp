#include "platform/settings_store.h"

#include <windows.h>

#include <cstring>

namespace {

class Key {
public:
    // Every build opens the 32-bit view, so a 32-bit manager and a 64-bit
    // service (or the other way round) share one key, where earlier 32-bit
    // installations left it (SOFTWARE\WOW6432Node on 64-bit Windows).
    explicit Key(REGSAM access, bool create)
    {
        access |= KEY_WOW64_32KEY;
        const LONG rc = create ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr,
                                                 REG_OPTION_NON_VOLATILE, access, nullptr, &key_, nullptr)
                               : RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, access, &key_);
        if (rc != ERROR_SUCCESS) key_ = nullptr;
    }
    ~Key()
    {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

void copy_fallback(char* buffer, std::size_t size, const char* fallback)
{
    if (size == 0) return;
    std::strncpy(buffer, fallback, size - 1);
    buffer[size - 1] = '\0';
}

} // namespace

std::int32_t read_dword_setting(const char* name, std::int32_t fallback)
{
    Key key(KEY_READ, false);
    if (key.get() == nullptr) return fallback;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return fallback;
    return static_cast<std::int32_t>(value);
}

void read_string_setting(const char* name, char* buffer, std::size_t size, const char* fallback)
{
    Key key(KEY_READ, false);
    if (key.get() == nullptr || size == 0) return copy_fallback(buffer, size, fallback);
    DWORD got = static_cast<DWORD>(size);
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &got) !=
        ERROR_SUCCESS)
        return copy_fallback(buffer, size, fallback);
    buffer[got == 0 ? 0 : got - 1] = '\0';
}

int write_dword_setting(const char* name, std::int32_t value)
{
    Key key(KEY_WRITE, true);
    if (key.get() == nullptr) return 0;
    const DWORD v = static_cast<DWORD>(value);
    RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    return 1;
}

int write_string_setting(const char* name, const char* text)
{
    Key key(KEY_WRITE, true);
    if (key.get() == nullptr) return 0;
    RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
    return 1;
}
