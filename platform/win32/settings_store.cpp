#include "platform/settings_store.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// A key's path below HKEY_LOCAL_MACHINE: the settings key, or its subkey.
// Empty when it does not fit (a key name holds at most 255 characters).
struct KeyPath {
    char text[512];
    explicit KeyPath(const char* subkey)
    {
        const bool sub = subkey != nullptr && *subkey != '\0';
        const int n = std::snprintf(text, sizeof text, "%s%s%s", kSettingsKey, sub ? "\\" : "", sub ? subkey : "");
        if (n < 0 || static_cast<std::size_t>(n) >= sizeof text) text[0] = '\0';
    }
};

class Key {
public:
    // Every build opens the 32-bit view, so a 32-bit manager and a 64-bit
    // service (or the other way round) share one key, where earlier 32-bit
    // installations left it (SOFTWARE\WOW6432Node on 64-bit Windows).
    Key(const char* subkey, REGSAM access, bool create)
    {
        const KeyPath path(subkey);
        if (path.text[0] == '\0') return;
        access |= KEY_WOW64_32KEY;
        const LONG rc = create ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.text, 0, nullptr,
                                                 REG_OPTION_NON_VOLATILE, access, nullptr, &key_, nullptr)
                               : RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.text, 0, access, &key_);
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

std::int32_t read_dword_setting_in(const char* subkey, const char* name, std::int32_t fallback)
{
    Key key(subkey, KEY_READ, false);
    if (key.get() == nullptr) return fallback;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return fallback;
    return static_cast<std::int32_t>(value);
}

void read_string_setting_in(const char* subkey, const char* name, char* buffer, std::size_t size,
                            const char* fallback)
{
    Key key(subkey, KEY_READ, false);
    if (key.get() == nullptr || size == 0) return copy_fallback(buffer, size, fallback);
    DWORD got = static_cast<DWORD>(size);
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &got) !=
        ERROR_SUCCESS)
        return copy_fallback(buffer, size, fallback);
    buffer[got == 0 ? 0 : got - 1] = '\0';
}

int write_dword_setting_in(const char* subkey, const char* name, std::int32_t value)
{
    Key key(subkey, KEY_WRITE, true);
    if (key.get() == nullptr) return 0;
    const DWORD v = static_cast<DWORD>(value);
    RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    return 1;
}

int write_string_setting_in(const char* subkey, const char* name, const char* text)
{
    Key key(subkey, KEY_WRITE, true);
    if (key.get() == nullptr) return 0;
    RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
    return 1;
}

int list_setting_subkeys(const char* subkey, char (*names)[256], int capacity)
{
    Key key(subkey, KEY_READ, false);
    if (key.get() == nullptr) return 0;
    int count = 0;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD size = sizeof name;
        const LONG rc = RegEnumKeyExA(key.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) continue;  // a name with no ANSI form: not one of ours
        if (count < capacity) std::memcpy(names[count], name, size + 1);
        ++count;
    }
    return count;
}

int delete_setting_subkey(const char* subkey)
{
    if (subkey == nullptr || *subkey == '\0') return 0;  // never the settings key itself
    Key key(nullptr, KEY_READ | KEY_WRITE | DELETE, false);
    if (key.get() == nullptr) return 1;
    const LONG rc = RegDeleteTreeA(key.get(), subkey);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? 1 : 0;
}

int write_runtime_dwords(const char* subkey, const char* const* names, const std::int32_t* values, int count)
{
    Key key(subkey, KEY_WRITE, true);
    if (key.get() == nullptr) return 0;
    for (int i = 0; i < count; ++i) {
        const DWORD v = static_cast<DWORD>(values[i]);
        RegSetValueExA(key.get(), names[i], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    }
    return 1;
}
