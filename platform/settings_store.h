// The settings store: named values under the one key
// HKEY_LOCAL_MACHINE\SOFTWARE\Kandrel\Tarnow.
//
// Windows keeps them in the registry. Elsewhere they live in a registry export
// file (REGEDIT4, CP932; a "Windows Registry Editor Version 5.00" file in
// UTF-16LE is read too) at $TARNOW_SETTINGS, else /etc/tarnow/settings.reg; a
// missing file is a missing key, and writers replace the file atomically under
// a lock, keeping every other key and value.
//
// Readers never fail: a missing key or value, a number stored in more than 4
// bytes, or a text longer than `size` bytes (its NUL included) gives
// `fallback`. A number's stored type is not looked at. A text reader replaces
// the last byte it received with a NUL, so a text stored with its NUL comes
// back whole and one stored without loses its last byte, as the registry
// does. Writers create the key and return 1, or 0 when the key cannot be
// created or opened; the result of the store itself is not looked at.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr const char* kSettingsKey = "SOFTWARE\\Kandrel\\Tarnow";

std::int32_t read_dword_setting(const char* name, std::int32_t fallback);
void read_string_setting(const char* name, char* buffer, std::size_t size, const char* fallback);
int write_dword_setting(const char* name, std::int32_t value);
int write_string_setting(const char* name, const char* text);

// The same in a subkey of the settings key: `subkey` is a path below it with
// backslashes, such as "Users\\alice" (REGEDIT files hold it as the section
// [HKEY_LOCAL_MACHINE\SOFTWARE\Kandrel\Tarnow\Users\alice]). Writers create
// the subkey and its parents.
std::int32_t read_dword_setting_in(const char* subkey, const char* name, std::int32_t fallback);
void read_string_setting_in(const char* subkey, const char* name, char* buffer, std::size_t size,
                            const char* fallback);
int write_dword_setting_in(const char* subkey, const char* name, std::int32_t value);
int write_string_setting_in(const char* subkey, const char* name, const char* text);

// The names of the direct subkeys of `subkey` ("Users"), each NUL-terminated
// in `names[i]` (cut to `name_size`), in the store's order, at most
// `capacity`. Returns how many there are (more than `capacity` when some
// were left out); 0 when the subkey is missing.
int list_setting_subkeys(const char* subkey, char (*names)[256], int capacity);
// Deletes `subkey` with its values and subkeys. 1 when it is gone (also when
// it was never there), 0 when it cannot be deleted.
int delete_setting_subkey(const char* subkey);

// Values the receiver publishes while it runs (its counters) in `subkey`:
// the registry keeps them beside the settings; the settings file elsewhere
// holds settings only, so there nothing is written (0). 1 when written.
int write_runtime_dwords(const char* subkey, const char* const* names, const std::int32_t* values, int count);
