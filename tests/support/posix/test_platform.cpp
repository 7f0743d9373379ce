#include "tests/support/test_platform.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "platform/settings_store.h"

namespace {

std::string sandbox_dir;

std::string settings_file() { return sandbox_dir + "/settings.reg"; }

} // namespace

void set_time_zone(const char* tz)
{
    setenv("TZ", tz, 1);
    tzset();
}

bool running_under_wine() { return false; }

SettingsSandbox::SettingsSandbox()
{
    char dir[] = "/tmp/tarnow-settings-XXXXXX";
    sandbox_dir = mkdtemp(dir);
    setenv("TARNOW_SETTINGS", settings_file().c_str(), 1);
}

SettingsSandbox::~SettingsSandbox()
{
    std::remove(settings_file().c_str());
    std::remove((settings_file() + ".lock").c_str());
    rmdir(sandbox_dir.c_str());
    unsetenv("TARNOW_SETTINGS");
}

bool SettingsSandbox::key_exists() const
{
    std::ifstream in(settings_file(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow]") != std::string::npos;
}

void SettingsSandbox::store_raw_value(const std::string& name, const std::string& bytes)
{
    write_string_setting(name.c_str(), "placeholder");
    std::ifstream in(settings_file(), std::ios::binary);
    std::stringstream buf;
    buf << in.rdbuf();
    std::string text = buf.str();
    const std::string old = "\"" + name + "\"=\"placeholder\"";
    std::string hex = "\"" + name + "\"=hex:";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char b[4];
        std::snprintf(b, sizeof b, i ? ",%02x" : "%02x", static_cast<unsigned char>(bytes[i]));
        hex += b;
    }
    text.replace(text.find(old), old.size(), hex);
    std::ofstream(settings_file(), std::ios::binary) << text;
}
