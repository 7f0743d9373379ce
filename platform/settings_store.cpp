// The values of the settings key itself: those of its subkey "" on every platform.
#include "platform/settings_store.h"

std::int32_t read_dword_setting(const char* name, std::int32_t fallback)
{
    return read_dword_setting_in("", name, fallback);
}

void read_string_setting(const char* name, char* buffer, std::size_t size, const char* fallback)
{
    read_string_setting_in("", name, buffer, size, fallback);
}

int write_dword_setting(const char* name, std::int32_t value) { return write_dword_setting_in("", name, value); }

int write_string_setting(const char* name, const char* text) { return write_string_setting_in("", name, text); }
