#include "service/user_command.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/usm_users.h"
#include "platform/settings_store.h"

namespace {

// The names on the command line, index = the stored number.
const char* const kAuthNames[] = {"-", "MD5", "SHA", "SHA-224", "SHA-256", "SHA-384", "SHA-512"};
const char* const kPrivNames[] = {"-", "DES", "AES-128", "AES-192", "AES-256", "AES-192C", "AES-256C"};
constexpr int kProtocolCount = 7;

int usage()
{
    std::printf(
        "使い方: tarnow -user add 名前 [-a 認証方式 -A パスワード] [-x 暗号方式 -X パスワード] [-e エンジンID]\n"
        "        tarnow -user delete 名前\n"
        "        tarnow -user list\n"
        "        tarnow -engineid\n"
        "  認証方式: MD5 SHA SHA-224 SHA-256 SHA-384 SHA-512\n"
        "  暗号方式: DES AES-128 AES-192 AES-256 AES-192C AES-256C (認証方式と共に指定します)\n"
        "  名前は32バイトまで、パスワードは空白と\"と\\を除く半角英数字と記号で8文字以上、エンジンIDは5から32オクテットの16進数です\n");
    return 1;
}

int fail(const char* format, const char* what)
{
    std::printf(format, what);
    return usage();
}

bool same_ascii_text(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

// The stored number of a protocol name (either case); -1 when there is none.
int protocol_number(const char* const* names, const char* text)
{
    for (int i = 1; i < kProtocolCount; ++i)
        if (same_ascii_text(names[i], text)) return i;
    return -1;
}

const char* protocol_name(const char* const* names, int number)
{
    return number >= 0 && number < kProtocolCount ? names[number] : "?";
}

bool copy_text(char* out, std::size_t size, const char* text)
{
    if (std::strlen(text) >= size) return false;
    std::strcpy(out, text);
    return true;
}

// Reads the options after "add NAME" into `user`; the offending argument, or
// nullptr when they are all sound.
const char* read_add_options(int count, char** args, UsmUserSetting& user)
{
    for (int i = 0; i < count; i += 2) {
        const char* option = args[i];
        const char* value = i + 1 < count ? args[i + 1] : nullptr;
        if (value == nullptr || std::strlen(option) != 2 || option[0] != '-') return option;
        bool ok = true;
        switch (option[1]) {
        case 'a': ok = (user.auth = protocol_number(kAuthNames, value)) > 0; break;
        case 'x':  // "AES" is AES-128, as net-snmp names it
            ok = (user.priv = same_ascii_text(value, "AES") ? 2 : protocol_number(kPrivNames, value)) > 0;
            break;
        case 'A':  // a password is never printed
            if (!copy_text(user.auth_pass, sizeof user.auth_pass, value)) return option;
            break;
        case 'X':
            if (!copy_text(user.priv_pass, sizeof user.priv_pass, value)) return option;
            break;
        case 'e':
            if (value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) value += 2;
            ok = copy_text(user.engine_id, sizeof user.engine_id, value);
            break;
        default: return option;
        }
        if (!ok) return value;
    }
    return nullptr;
}

int add_user(int count, char** args)
{
    UsmUserSetting user{};
    if (count < 1 || !copy_text(user.name, sizeof user.name, args[0]))
        return fail("ユーザー名が正しくありません: %s\n", count < 1 ? "" : args[0]);
    if (const char* wrong = read_add_options(count - 1, args + 1, user))
        return fail("引数が正しくありません: %s\n", wrong);
    if ((user.auth_pass[0] != '\0') != (user.auth != 0) || (user.priv_pass[0] != '\0') != (user.priv != 0))
        return fail("%s\n", "認証方式と暗号方式には、それぞれのパスワードを指定します");
    if (user.priv != 0 && user.auth == 0) return fail("%s\n", "暗号方式は認証方式と共に指定します");
    if (!auth_protocol_available(static_cast<AuthProtocol>(user.auth)))
        return fail("この環境では使えない認証方式です: %s\n", kAuthNames[user.auth]);
    if (!priv_protocol_available(static_cast<PrivProtocol>(user.priv)))
        return fail("この環境では使えない暗号方式です: %s\n", kPrivNames[user.priv]);
    if (write_usm_user(user) == 0) return fail("SNMPv3ユーザーを登録できませんでした: %s\n", user.name);
    return 0;
}

int delete_user(int count, char** args)
{
    UsmUserSetting user{};
    if (count != 1) return usage();
    if (!read_usm_user(args[0], user)) return fail("SNMPv3ユーザーが登録されていません: %s\n", args[0]);
    if (delete_usm_user(user.name) == 0) {
        std::printf("SNMPv3ユーザーを削除できませんでした: %s\n", user.name);
        return 1;
    }
    return 0;
}

int list_users(int count)
{
    if (count != 0) return usage();
    char names[kMaxUsmUsers][256];
    const int listed = list_setting_subkeys("Users", names, kMaxUsmUsers);
    for (int i = 0; i < listed && i < kMaxUsmUsers; ++i) {
        UsmUserSetting user{};
        if (!read_usm_user(names[i], user)) continue;
        std::printf("%s %s %s %s\n", user.name, protocol_name(kAuthNames, user.auth),
                    protocol_name(kPrivNames, user.priv), user.engine_id[0] != '\0' ? user.engine_id : "*");
    }
    return 0;
}

} // namespace

int run_user_command(int count, char** args)
{
    const char* verb = count > 0 ? args[0] : "";
    if (std::strcmp(verb, "add") == 0) return add_user(count - 1, args + 1);
    if (std::strcmp(verb, "delete") == 0) return delete_user(count - 1, args + 1);
    if (std::strcmp(verb, "list") == 0) return list_users(count - 1);
    return usage();
}

int print_engine_id()
{
    std::uint8_t id[kMaxEngineIdSize];
    const std::size_t size = receiver_engine_id(id);
    if (size == 0) {
        std::printf("エンジンIDを作成できませんでした\n");
        return 1;
    }
    char text[2 * kMaxEngineIdSize + 1];
    format_hex_octets(id, size, text);
    std::printf("%s\n", text);
    return 0;
}
