#include "common/usm_users.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "common/password.h"
#include "platform/random.h"
#include "platform/settings_store.h"

namespace {

const char kUsersKey[] = "Users";

// The enterprise number in the receiver's engine ID: the documentation
// number of RFC 5612, until the maker's own number is registered. The eight
// random octets after it keep every installation's ID its own.
constexpr std::uint32_t kEngineIdEnterprise = 32473;
constexpr std::uint8_t kEngineIdFormatOctets = 5;  // RFC 3411: octets, administratively assigned
constexpr std::size_t kEngineIdRandomSize = 8;
constexpr std::size_t kMinEngineIdSize = 5;
constexpr std::int32_t kMaxEngineBoots = 0x7FFFFFFF;

// Room for a scrambled password of kMaxPasswordSize characters (n + 6).
constexpr std::size_t kStoredPasswordSize = kMaxPasswordSize + 8;

std::string user_key(const char* name) { return std::string(kUsersKey) + "\\" + name; }

bool is_cp932_lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Key names compare as the registry compares them: ASCII letters in either
// case, a CP932 character as it is.
bool same_key_name(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        const unsigned char x = *a, y = *b;
        if (is_cp932_lead(x) && a[1] != '\0') {
            if (x != y || a[1] != b[1]) return false;
            ++a, ++b;
        } else if (std::tolower(x) != std::tolower(y)) {
            return false;
        }
    }
    return *a == *b;
}

// A name a user's key can have: 1 to 32 octets, no control character and
// no backslash (it would name a key below the user's), CP932 read whole.
bool valid_user_name(const char* name)
{
    const std::size_t size = std::strlen(name);
    if (size == 0 || size > kMaxUserNameSize) return false;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = name[i];
        if (c < 0x20 || c == 0x7F || c == '\\') return false;
        if (is_cp932_lead(c) && i + 1 < size) ++i;
    }
    return true;
}

bool valid_engine_id_text(const char* text)
{
    std::uint8_t octets[kMaxEngineIdSize];
    std::size_t size = 0;
    return *text == '\0' ||
           (parse_hex_octets(text, octets, sizeof octets, size) && size >= kMinEngineIdSize);
}

// A password is needed (8 characters at the least, RFC 3414 11.2) where its
// protocol is set, and must be one the scrambler takes.
bool scramble_if_set(std::int32_t protocol, const char* plain, char* stored)
{
    stored[0] = '\0';
    if (protocol == 0) return true;
    return std::strlen(plain) >= 8 && std::strlen(plain) <= kMaxPasswordSize &&
           scramble_password(plain, stored, kStoredPasswordSize) == 0;
}

void read_password(const std::string& key, const char* name, char (&out)[kMaxPasswordSize + 1])
{
    char stored[kStoredPasswordSize];
    read_string_setting_in(key.c_str(), name, stored, sizeof stored, "");
    unscramble_password(stored, stored);  // a text not in scrambled form is used as it stands
    if (std::strlen(stored) > kMaxPasswordSize) stored[0] = '\0';
    std::strcpy(out, stored);
}

// The stored name of user `name` (the key's own spelling); false when there is none.
bool find_user_key(const char* name, char (&stored)[256])
{
    char names[kMaxUsmUsers][256];
    const int count = std::min(list_setting_subkeys(kUsersKey, names, kMaxUsmUsers), kMaxUsmUsers);
    for (int i = 0; i < count; ++i)
        if (same_key_name(names[i], name)) {
            std::strcpy(stored, names[i]);
            return true;
        }
    return false;
}

// The values of the user whose key is `stored` (its spelling in the store).
bool read_user_values(const char* stored, UsmUserSetting& out)
{
    if (std::strlen(stored) > kMaxUserNameSize) return false;
    const std::string key = user_key(stored);
    std::strcpy(out.name, stored);
    out.auth = read_dword_setting_in(key.c_str(), "auth", 0);
    out.priv = read_dword_setting_in(key.c_str(), "priv", 0);
    read_password(key, "auth_pass", out.auth_pass);
    read_password(key, "priv_pass", out.priv_pass);
    read_string_setting_in(key.c_str(), "engine_id", out.engine_id, sizeof out.engine_id, "");
    return true;
}

// Fills `user` from its stored form; usable only when every part can run here.
void make_usm_user(const UsmUserSetting& setting, UsmUser& user)
{
    std::memset(&user, 0, sizeof user);
    user.name_size = std::strlen(setting.name);
    std::memcpy(user.name, setting.name, user.name_size + 1);
    const bool valid = auth_protocol_valid(setting.auth) && priv_protocol_valid(setting.priv);
    user.auth = valid ? static_cast<AuthProtocol>(setting.auth) : AuthProtocol::None;
    user.priv = valid ? static_cast<PrivProtocol>(setting.priv) : PrivProtocol::None;
    user.usable = valid && auth_protocol_available(user.auth) && priv_protocol_available(user.priv) &&
                  (user.priv == PrivProtocol::None || user.auth != AuthProtocol::None) &&
                  parse_hex_octets(setting.engine_id, user.engine_id, kMaxEngineIdSize, user.engine_id_size) &&
                  (user.engine_id_size == 0 || user.engine_id_size >= kMinEngineIdSize);
    if (user.usable && user.auth != AuthProtocol::None)
        user.usable = password_to_key(user.auth, setting.auth_pass, std::strlen(setting.auth_pass), user.auth_ku);
    if (user.usable && user.priv != PrivProtocol::None)
        user.usable = password_to_key(user.auth, setting.priv_pass, std::strlen(setting.priv_pass), user.priv_ku);
}

// A new snmpEngineID: 0x80 and the enterprise number, the format, random octets.
std::size_t make_engine_id(std::uint8_t* out)
{
    const std::uint32_t enterprise = 0x80000000u | kEngineIdEnterprise;
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(enterprise >> (24 - 8 * i));
    out[4] = kEngineIdFormatOctets;
    return random_bytes(out + 5, kEngineIdRandomSize) ? 5 + kEngineIdRandomSize : 0;
}

// The stored "engine_id" when it is valid; 0 when it is not.
std::size_t stored_engine_id(std::uint8_t* out)
{
    char text[2 * kMaxEngineIdSize + 2];
    read_string_setting("engine_id", text, sizeof text, "");
    std::size_t size = 0;
    if (!parse_hex_octets(text, out, kMaxEngineIdSize, size) || size < kMinEngineIdSize) return 0;
    return size;
}

} // namespace

bool parse_hex_octets(const char* text, std::uint8_t* out, std::size_t capacity, std::size_t& size)
{
    const std::size_t digits = std::strlen(text);
    if (digits % 2 != 0 || digits / 2 > capacity) return false;
    for (std::size_t i = 0; i < digits; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    for (std::size_t i = 0; i < digits / 2; ++i) {
        const char pair[3] = {text[2 * i], text[2 * i + 1], '\0'};
        out[i] = static_cast<std::uint8_t>(std::strtoul(pair, nullptr, 16));
    }
    size = digits / 2;
    return true;
}

void format_hex_octets(const std::uint8_t* octets, std::size_t size, char* out)
{
    static const char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < size; ++i) {
        out[2 * i] = kDigits[octets[i] >> 4];
        out[2 * i + 1] = kDigits[octets[i] & 0x0F];
    }
    out[2 * size] = '\0';
}

bool read_usm_user(const char* name, UsmUserSetting& out)
{
    char stored[256];
    return find_user_key(name, stored) && read_user_values(stored, out);
}

int load_usm_users(UsmUser* users, int capacity)
{
    char names[kMaxUsmUsers][256];
    const int listed = std::min(list_setting_subkeys(kUsersKey, names, kMaxUsmUsers), kMaxUsmUsers);
    int count = 0;
    for (int i = 0; i < listed && count < capacity; ++i) {
        UsmUserSetting setting;
        if (!read_user_values(names[i], setting)) continue;  // a name no message can carry
        make_usm_user(setting, users[count++]);
        std::memset(&setting, 0, sizeof setting);
    }
    return count;
}

int write_usm_user(const UsmUserSetting& user)
{
    char auth_pass[kStoredPasswordSize];
    char priv_pass[kStoredPasswordSize];
    if (!valid_user_name(user.name) || !auth_protocol_valid(user.auth) || !priv_protocol_valid(user.priv) ||
        (user.priv != 0 && user.auth == 0) || !valid_engine_id_text(user.engine_id) ||
        !scramble_if_set(user.auth, user.auth_pass, auth_pass) || !scramble_if_set(user.priv, user.priv_pass, priv_pass))
        return 0;
    char engine_id[sizeof user.engine_id];
    std::size_t size = 0;
    std::uint8_t octets[kMaxEngineIdSize];
    parse_hex_octets(user.engine_id, octets, sizeof octets, size);
    format_hex_octets(octets, size, engine_id);
    const std::string key = user_key(user.name);
    const char* k = key.c_str();
    return write_dword_setting_in(k, "auth", user.auth) && write_string_setting_in(k, "auth_pass", auth_pass) &&
           write_dword_setting_in(k, "priv", user.priv) && write_string_setting_in(k, "priv_pass", priv_pass) &&
           write_string_setting_in(k, "engine_id", engine_id);
}

int delete_usm_user(const char* name)
{
    if (!valid_user_name(name)) return 0;
    return delete_setting_subkey(user_key(name).c_str());
}

std::size_t receiver_engine_id(std::uint8_t out[kMaxEngineIdSize])
{
    if (const std::size_t size = stored_engine_id(out)) return size;
    char text[2 * kMaxEngineIdSize + 1];
    const std::size_t made = make_engine_id(out);
    if (made == 0) return 0;
    format_hex_octets(out, made, text);
    if (write_string_setting("engine_id", text) == 0) return 0;
    return stored_engine_id(out);  // what is kept, should another process have made one at once
}

std::uint32_t next_engine_boots()
{
    const std::int32_t stored = read_dword_setting("engine_boots", 0);
    const std::int32_t next = stored < 0 || stored >= kMaxEngineBoots ? kMaxEngineBoots : stored + 1;
    write_dword_setting("engine_boots", next);
    return static_cast<std::uint32_t>(next);
}
