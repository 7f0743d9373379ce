#include "tests/support/test_platform.h"

#include <windows.h>

#include <cstdlib>
#include <ctime>

#include "platform/settings_store.h"

void set_time_zone(const char* tz)
{
    _putenv_s("TZ", tz);
    _tzset();
}

bool running_under_wine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// Where the store's 32-bit view keeps the key, named in the 64-bit view: the
// tests read and write it here, so a store that used the other view fails them.
const char kStoredKey[] = "SOFTWARE\\WOW6432Node\\Kandrel\\Tarnow";

SettingsSandbox::SettingsSandbox() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kStoredKey); }

SettingsSandbox::~SettingsSandbox() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kStoredKey); }

bool SettingsSandbox::key_exists() const
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStoredKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void SettingsSandbox::store_raw_value(const std::string& name, const std::string& bytes)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kStoredKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}
