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

SettingsSandbox::SettingsSandbox() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSettingsKey); }

SettingsSandbox::~SettingsSandbox() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSettingsKey); }

bool SettingsSandbox::key_exists() const
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void SettingsSandbox::store_raw_value(const std::string& name, const std::string& bytes)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}
