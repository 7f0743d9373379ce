// What the portable tests need from the system they run on.
#pragma once

#include <string>

// Sets the local time zone of this process, POSIX TZ syntax ("JST-9").
void set_time_zone(const char* tz);

// True when the program runs under Wine rather than on Windows or Linux.
bool running_under_wine();

// Gives each test an empty settings store: on Windows the real registry key is
// deleted; elsewhere the store is a fresh file named by TARNOW_SETTINGS.
class SettingsSandbox {
public:
    SettingsSandbox();
    ~SettingsSandbox();
    bool key_exists() const;
    // Stores raw bytes under `name` with no type a reader would expect.
    void store_raw_value(const std::string& name, const std::string& bytes);
};
