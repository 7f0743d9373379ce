#include "manager/service_sheet.h"

#include <commdlg.h>
#include <mmsystem.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "common/password.h"
#include "common/settings.h"
#include "common/usm_users.h"
#include "manager/page_values.h"
#include "manager/resource.h"
#include "platform/settings_store.h"

namespace {

constexpr int kPathLimit = 1024;
constexpr int kHostListLimit = 4096;
constexpr int kMailTextLimit = 250;
constexpr unsigned kHighestTrapLevel = 6;
constexpr unsigned kHighestPort = 65535;
constexpr unsigned kSubmissionPort = 587;  // STARTTLS
constexpr unsigned kSmtpsPort = 465;       // TLS from the first byte
constexpr unsigned kHighestSoundValue = 20000;
constexpr DWORD kChooserFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;

const char kRecordFilter[] = "ORV形式ﾌｧｲﾙ (*.orv)|*.orv|全てのﾌｧｲﾙ (*.*)|*.*||";
const char kCsvFilter[] = "CSVﾌｧｲﾙ (*.csv)|*.csv|全てのﾌｧｲﾙ (*.*)|*.*||";
const char kLogFilter[] = "ﾛｸﾞﾌｧｲﾙ (*.log)|*.log|全てのﾌｧｲﾙ (*.*)|*.*||";
const char kProgramFilter[] = "実行ﾌｧｲﾙ (*.exe)|*.exe|全てのﾌｧｲﾙ (*.*)|*.*||";
const char kWaveFilter[] = "WAVﾌｧｲﾙ (*.wav)|*.wav|全てのﾌｧｲﾙ (*.*)|*.*||";
const char kMibDirsTooLong[] = "MIBﾌｫﾙﾀﾞは合わせて 4095 ﾊﾞｲﾄ以内で入力してください。";
const char kPasswordRefused[] = "パスワードには、空白・\"・\\ を除く半角の英数字と記号を 249 文字まで使えます。";

constexpr int kPasswordLimit = 249;  // the longest password the scrambler takes
constexpr std::size_t kShortestPassword = 8;
const char kAuthNames[][9] = {"なし", "MD5", "SHA", "SHA-224", "SHA-256", "SHA-384", "SHA-512"};
const char kPrivNames[][9] = {"なし", "DES", "AES-128", "AES-192", "AES-256", "AES-192C", "AES-256C"};
constexpr int kProtocolCount = 7;
// Stands for a stored password in its field; a blank is never part of a password.
const char kUnchangedPassword[] = "        ";
const char kEveryEngine[] = "(すべて)";

// The scrambled form of a password, or false when it holds a character the
// scrambler refuses or its scrambled form would not fit the 256 bytes the
// service reads it into (a password of 250 characters or more).
bool scrambled(const std::string& plain, std::string& out)
{
    char buffer[256] = "";
    if (scramble_password(plain.c_str(), buffer, sizeof buffer) != 0) return false;
    out = buffer;
    return true;
}

// A stored password as typed: unscrambled, or as it stands when it is not in
// scrambled form.
std::string read_password(const char* name)
{
    std::string stored = read_text(name, kMailTextLimit + 8);
    unscramble_password(stored.c_str(), &stored[0]);
    return stored.c_str();
}

// The folder of the running manager followed by "\alarm.wav".
std::string default_wave_file()
{
    std::vector<wchar_t> path(32768, L'\0');
    GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring folder(path.data());
    folder = folder.substr(0, folder.find_last_of(L'\\'));
    return narrow((folder + L"\\alarm.wav").c_str());
}

} // namespace

// --- Storage page -------------------------------------------------------------

CMyPropertyPage1::CMyPropertyPage1() : CPropertyPage(IDD_PAGE_STORAGE)
{
    on_command(IDC_STORAGE_RECORD_BROWSE, [this] { browse_into(record_path_, kRecordFilter, kChooserFlags); });
    on_command(IDC_STORAGE_CSV_BROWSE, [this] { browse_into(csv_path_, kCsvFilter, kChooserFlags); });
    on_command(IDC_STORAGE_LOG_BROWSE, [this] { browse_into(log_path_, kLogFilter, kChooserFlags); });
    for (UINT id : {IDC_STORAGE_RECORD_ON, IDC_STORAGE_CSV_ON, IDC_STORAGE_LOG_ON})
        on_command(id, [this] { update_enabling(); });
}

void CMyPropertyPage1::DoDataExchange(CDataExchange& dx)
{
    dx.check(IDC_STORAGE_RECORD_ON, record_on_);
    dx.text(IDC_STORAGE_RECORD_PATH, record_path_, kPathLimit);
    dx.check(IDC_STORAGE_CSV_ON, csv_on_);
    dx.text(IDC_STORAGE_CSV_PATH, csv_path_, kPathLimit);
    dx.check(IDC_STORAGE_LOG_ON, log_on_);
    dx.text(IDC_STORAGE_LOG_PATH, log_path_, kPathLimit);
}

BOOL CMyPropertyPage1::OnInitDialog()
{
    record_on_ = read_dword_setting("f_binfile", 0);
    record_path_ = read_text("binfile", kPathLimit);
    csv_on_ = read_dword_setting("f_csvfile", 0);
    csv_path_ = read_text("csvfile", kPathLimit);
    log_on_ = read_dword_setting("f_logfile", 0);
    log_path_ = read_text("logfile", kPathLimit);
    UpdateData(false);
    update_enabling();
    return TRUE;
}

void CMyPropertyPage1::update_enabling()
{
    UpdateData(true);
    const bool record = is_checked(IDC_STORAGE_RECORD_ON);
    const bool csv = is_checked(IDC_STORAGE_CSV_ON);
    const bool log = is_checked(IDC_STORAGE_LOG_ON);
    enable(IDC_STORAGE_RECORD_PATH, record);
    enable(IDC_STORAGE_RECORD_BROWSE, record);
    enable(IDC_STORAGE_CSV_PATH, csv);
    enable(IDC_STORAGE_CSV_BROWSE, csv);
    enable(IDC_STORAGE_LOG_PATH, log);
    enable(IDC_STORAGE_LOG_BROWSE, log);
}

void CMyPropertyPage1::OnOK()
{
    UpdateData(true);
    write_dword_setting("f_binfile", record_on_);
    write_string_setting("binfile", record_path_.c_str());
    write_dword_setting("f_csvfile", csv_on_);
    write_string_setting("csvfile", csv_path_.c_str());
    write_dword_setting("f_logfile", log_on_);
    write_string_setting("logfile", log_path_.c_str());
}

// --- Reception page -----------------------------------------------------------

CMyPropertyPage2::CMyPropertyPage2() : CPropertyPage(IDD_PAGE_RECEPTION)
{
    on_command(IDC_RECEPTION_PROGRAM_BROWSE, [this] { browse_program(); });
    on_command(IDC_RECEPTION_POPUP_ON, [this] { update_enabling(); });
    on_command(IDC_RECEPTION_PROGRAM_ON, [this] { update_enabling(); });
    on_command(IDC_RECEPTION_MIB_ON, [this] { update_enabling(); });
}

void CMyPropertyPage2::DoDataExchange(CDataExchange& dx)
{
    spin_ = item(IDC_RECEPTION_LEVEL_SPIN);
    dx.number(IDC_RECEPTION_LEVEL, trap_level_, 0, kHighestTrapLevel);
    dx.check(IDC_RECEPTION_V2C, v2c_on_);
    dx.check(IDC_RECEPTION_POPUP_ON, popup_on_);
    dx.check(IDC_RECEPTION_PROGRAM_ON, program_on_);
    dx.text(IDC_RECEPTION_PROGRAM, program_, kPathLimit);
    dx.text(IDC_RECEPTION_HOSTS, popup_hosts_, kHostListLimit);
    dx.check(IDC_RECEPTION_OWN_HOST, popup_own_host_);
    dx.check(IDC_RECEPTION_MIB_ON, mib_names_on_);
    dx.text(IDC_RECEPTION_MIB_DIRS, mib_dirs_, static_cast<int>(kHostListSize - 1));
    // The service reads the folders into kHostListSize bytes and takes the default ones when they do not fit.
    if (dx.save && dx.ok() && mib_dirs_.size() >= kHostListSize) dx.fail(IDC_RECEPTION_MIB_DIRS, kMibDirsTooLong);
}

// The program setting is a command line: a chosen path with a blank is quoted,
// or Windows would first try to start "C:\Program.exe".
void CMyPropertyPage2::browse_program()
{
    if (!browse_into(program_, kProgramFilter, kChooserFlags)) return;
    if (program_.find(' ') == std::string::npos) return;
    program_ = '"' + program_ + '"';
    UpdateData(false);
}

BOOL CMyPropertyPage2::OnInitDialog()
{
    SendMessageW(spin_, UDM_SETRANGE32, 0, kHighestTrapLevel);
    trap_level_ = read_number("traplevel", 0);
    v2c_on_ = read_dword_setting("f_v2c", 1);
    popup_on_ = read_dword_setting("f_popup", 0);
    popup_hosts_ = read_text("popup_host", kHostListLimit);
    popup_own_host_ = read_dword_setting("f_popup_mysend", 1);
    program_on_ = read_dword_setting("f_program", 0);
    program_ = read_text("program", kPathLimit);
    mib_names_on_ = read_dword_setting("f_mibnames", 1);
    mib_dirs_ = read_text("mibdirs", static_cast<int>(kHostListSize - 1));
    UpdateData(false);
    update_enabling();
    return TRUE;
}

void CMyPropertyPage2::update_enabling()
{
    UpdateData(true);
    const bool popup = is_checked(IDC_RECEPTION_POPUP_ON);
    const bool program = is_checked(IDC_RECEPTION_PROGRAM_ON);
    enable(IDC_RECEPTION_HOSTS, popup);
    enable(IDC_RECEPTION_OWN_HOST, popup);
    enable(IDC_RECEPTION_PROGRAM, program);
    enable(IDC_RECEPTION_PROGRAM_BROWSE, program);
    enable(IDC_RECEPTION_MIB_DIRS, is_checked(IDC_RECEPTION_MIB_ON));
}

void CMyPropertyPage2::OnOK()
{
    UpdateData(true);
    write_number("traplevel", trap_level_);
    write_dword_setting("f_v2c", v2c_on_);
    write_dword_setting("f_popup", popup_on_);
    write_string_setting("popup_host", popup_hosts_.c_str());
    write_dword_setting("f_popup_mysend", popup_own_host_);
    write_dword_setting("f_program", program_on_);
    write_string_setting("program", program_.c_str());
    write_dword_setting("f_mibnames", mib_names_on_);
    write_string_setting("mibdirs", mib_dirs_.c_str());
}

// --- Mail page ----------------------------------------------------------------

CMyPropertyPage3::CMyPropertyPage3() : CPropertyPage(IDD_PAGE_MAIL)
{
    for (UINT id : {IDC_MAIL_ON, IDC_MAIL_POP3_ON, IDC_MAIL_AUTH_ON, IDC_MAIL_SECURITY_NONE})
        on_command(id, [this] { update_enabling(); });
    on_command(IDC_MAIL_SECURITY_STARTTLS, [this] { suggest_port(kSubmissionPort); });
    on_command(IDC_MAIL_SECURITY_TLS, [this] { suggest_port(kSmtpsPort); });
}

void CMyPropertyPage3::DoDataExchange(CDataExchange& dx)
{
    dx.check(IDC_MAIL_ON, mail_on_);
    dx.number(IDC_MAIL_PORT, smtp_port_, 0, kHighestPort);
    dx.text(IDC_MAIL_SERVER, smtp_server_, kMailTextLimit);
    dx.text(IDC_MAIL_FROM, mail_from_, kMailTextLimit);
    dx.text(IDC_MAIL_TO, mail_to_, kMailTextLimit);
    dx.radio(IDC_MAIL_SECURITY_NONE, security_);
    dx.check(IDC_MAIL_VERIFY, verify_on_);
    dx.check(IDC_MAIL_AUTH_ON, auth_on_);
    dx.text(IDC_MAIL_AUTH_USER, auth_user_, kMailTextLimit);
    dx.text(IDC_MAIL_AUTH_PASSWORD, auth_password_, kMailTextLimit);
    dx.check(IDC_MAIL_POP3_ON, pop3_on_);
    dx.text(IDC_MAIL_POP3_SERVER, pop3_server_, kMailTextLimit);
    dx.text(IDC_MAIL_POP3_USER, pop3_user_, kMailTextLimit);
    dx.text(IDC_MAIL_POP3_PASSWORD, pop3_password_, kMailTextLimit);
    // Only a password the scrambler takes can be stored so that the service reads it back.
    std::string unused;
    if (dx.save && dx.ok() && !scrambled(auth_password_, unused)) dx.fail(IDC_MAIL_AUTH_PASSWORD, kPasswordRefused);
    if (dx.save && dx.ok() && !scrambled(pop3_password_, unused)) dx.fail(IDC_MAIL_POP3_PASSWORD, kPasswordRefused);
}

BOOL CMyPropertyPage3::OnInitDialog()
{
    mail_on_ = read_dword_setting("f_email", 0);
    smtp_port_ = read_number("smtpport", 25);
    smtp_server_ = read_text("smtpname", kMailTextLimit);
    mail_from_ = read_text("mail_from", kMailTextLimit);
    mail_to_ = read_text("mail_to", kMailTextLimit);
    security_ = read_dword_setting("smtp_security", 0);
    if (security_ < 0 || security_ > 2) security_ = 2;  // the service takes any other value for TLS from the first byte
    verify_on_ = read_dword_setting("f_smtp_verify", 1) != 0 ? 1 : 0;  // only 0 turns the check off
    auth_on_ = read_dword_setting("f_smtp_auth", 0);
    auth_user_ = read_text("smtp_user", kMailTextLimit);
    auth_password_ = read_password("smtp_pass");
    pop3_on_ = read_dword_setting("f_pop3", 0);
    pop3_server_ = read_text("pop_server", kMailTextLimit);
    pop3_user_ = read_text("pop_user", kMailTextLimit);
    pop3_password_ = read_password("pop_pass");
    UpdateData(false);
    update_enabling();
    return TRUE;
}

void CMyPropertyPage3::update_enabling()
{
    UpdateData(true);
    const bool mail = is_checked(IDC_MAIL_ON);
    const bool pop3 = is_checked(IDC_MAIL_POP3_ON);
    for (int id : {IDC_MAIL_PORT, IDC_MAIL_SERVER, IDC_MAIL_FROM, IDC_MAIL_TO, IDC_MAIL_SECURITY_NONE,
                   IDC_MAIL_SECURITY_STARTTLS, IDC_MAIL_SECURITY_TLS, IDC_MAIL_AUTH_ON})
        enable(id, mail);
    enable(IDC_MAIL_VERIFY, mail && !is_checked(IDC_MAIL_SECURITY_NONE));
    for (int id : {IDC_MAIL_AUTH_USER, IDC_MAIL_AUTH_PASSWORD}) enable(id, mail && is_checked(IDC_MAIL_AUTH_ON));
    for (int id : {IDC_MAIL_POP3_SERVER, IDC_MAIL_POP3_USER, IDC_MAIL_POP3_PASSWORD}) enable(id, pop3);
}

// STARTTLS and TLS from the first byte have ports of their own: a port left
// at 25 becomes that port.
void CMyPropertyPage3::suggest_port(unsigned port)
{
    wchar_t text[8] = L"";
    GetWindowTextW(item(IDC_MAIL_PORT), text, 8);
    if (std::wcscmp(text, L"25") == 0) set_item_text(IDC_MAIL_PORT, std::to_string(port).c_str());
    update_enabling();
}

void CMyPropertyPage3::OnOK()
{
    UpdateData(true);
    std::string password;
    std::string auth_password;
    // refused when the page was left
    if (!scrambled(pop3_password_, password) || !scrambled(auth_password_, auth_password)) return;
    write_dword_setting("f_email", mail_on_);
    write_number("smtpport", smtp_port_);
    write_string_setting("smtpname", smtp_server_.c_str());
    write_string_setting("mail_from", mail_from_.c_str());
    write_string_setting("mail_to", mail_to_.c_str());
    write_dword_setting("smtp_security", security_);
    write_dword_setting("f_smtp_verify", verify_on_);
    write_dword_setting("f_smtp_auth", auth_on_);
    write_string_setting("smtp_user", auth_user_.c_str());
    write_string_setting("smtp_pass", auth_password.c_str());
    write_dword_setting("f_pop3", pop3_on_);
    write_string_setting("pop_server", pop3_server_.c_str());
    write_string_setting("pop_user", pop3_user_.c_str());
    write_string_setting("pop_pass", password.c_str());
}

// --- Sound page ---------------------------------------------------------------

CMyPropertyPage4::CMyPropertyPage4() : CPropertyPage(IDD_PAGE_SOUND)
{
    on_command(IDC_SOUND_ON, [this] { update_enabling(); });
    on_command(IDC_SOUND_BEEP, [this] { update_kind_enabling(); });
    on_command(IDC_SOUND_WAVE, [this] { update_kind_enabling(); });
    on_command(IDC_SOUND_BROWSE, [this] { browse_into(wave_file_, kWaveFilter, kChooserFlags); });
    on_command(IDC_SOUND_TEST, [this] { play_test_sound(); });
}

CMyPropertyPage4::~CMyPropertyPage4()
{
    if (test_icon_ != nullptr) DestroyIcon(test_icon_);
}

void CMyPropertyPage4::DoDataExchange(CDataExchange& dx)
{
    test_button_ = item(IDC_SOUND_TEST);
    dx.check(IDC_SOUND_ON, sound_on_);
    dx.radio(IDC_SOUND_BEEP, sound_kind_);
    dx.text(IDC_SOUND_WAVE_FILE, wave_file_, kPathLimit);
    dx.number(IDC_SOUND_FREQUENCY, beep_frequency_, 0, kHighestSoundValue);
    dx.number(IDC_SOUND_DURATION, beep_duration_, 0, kHighestSoundValue);
    dx.check(IDC_SOUND_LOOP, wave_loop_);
}

BOOL CMyPropertyPage4::OnInitDialog()
{
    test_icon_ = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_SOUND_TEST), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    SendMessageW(test_button_, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(test_icon_));
    sound_on_ = read_dword_setting("f_sound", 0);
    sound_kind_ = read_dword_setting("f_wave", 0);
    wave_file_ = read_text("wavefile", kPathLimit, default_wave_file().c_str());
    wave_loop_ = read_dword_setting("waveloop", 0);
    beep_frequency_ = read_number("sound_freq", 500);
    beep_duration_ = read_number("sound_msec", 200);
    UpdateData(false);
    update_enabling();
    return TRUE;
}

void CMyPropertyPage4::update_enabling()
{
    UpdateData(true);
    const bool on = is_checked(IDC_SOUND_ON);
    for (int id : {IDC_SOUND_BEEP, IDC_SOUND_WAVE, IDC_SOUND_WAVE_FILE, IDC_SOUND_FREQUENCY, IDC_SOUND_DURATION,
                   IDC_SOUND_BROWSE, IDC_SOUND_TEST, IDC_SOUND_LOOP})
        enable(id, on);
    if (on) update_kind_enabling();
}

void CMyPropertyPage4::update_kind_enabling()
{
    UpdateData(true);
    const bool wave = is_checked(IDC_SOUND_WAVE);
    enable(IDC_SOUND_FREQUENCY, !wave);
    enable(IDC_SOUND_DURATION, !wave);
    enable(IDC_SOUND_WAVE_FILE, wave);
    enable(IDC_SOUND_BROWSE, wave);
    enable(IDC_SOUND_LOOP, wave);
}

// Plays the chosen sound once: the wave file asynchronously, or the beep.
void CMyPropertyPage4::play_test_sound()
{
    if (!UpdateData(true)) return;
    if (sound_kind_ == 1) {
        PlaySoundW(widen(wave_file_.c_str()).c_str(), nullptr, SND_FILENAME | SND_ASYNC);
    } else {
        Beep(beep_frequency_, beep_duration_);
    }
}

void CMyPropertyPage4::OnOK()
{
    UpdateData(true);
    write_dword_setting("f_sound", sound_on_);
    write_dword_setting("f_wave", sound_kind_);
    write_string_setting("wavefile", wave_file_.c_str());
    write_dword_setting("waveloop", wave_loop_);
    write_number("sound_freq", beep_frequency_);
    write_number("sound_msec", beep_duration_);
}

// --- Forwarding page ------------------------------------------------------------

namespace {

constexpr int kHostNameLimit = 255;
constexpr unsigned kSyslogPort = 514;
constexpr unsigned kSyslogTlsPort = 6514;  // RFC 5425
constexpr int kTlsTransport = 2;
constexpr int kFacilityCount = 24;
// The facilities of RFC 5424, by number.
const char* const kFacilityNames[kFacilityCount] = {
    "kern", "user", "mail", "daemon", "auth", "syslog", "lpr", "news", "uucp", "cron", "authpriv", "ftp",
    "ntp", "audit", "alert", "clock", "local0", "local1", "local2", "local3", "local4", "local5", "local6", "local7"};
const char kJsonFilter[] = "JSONﾌｧｲﾙ (*.json;*.jsonl)|*.json;*.jsonl|全てのﾌｧｲﾙ (*.*)|*.*||";
const char kNotANumber[] = "正の整数を入力してください。";
const char kFacilityOutOfRange[] = "0 から 23 までの整数を入力してください。";
const char kForwardHostsTooLong[] = "転送先ﾎｽﾄは合わせて 4095 ﾊﾞｲﾄ以内で入力してください。";

std::string facility_text(int number)
{
    if (number < 0 || number >= kFacilityCount) return std::to_string(number);
    return std::to_string(number) + " " + kFacilityNames[number];
}

// A facility as the combo shows it ("16 local0"), its number or its name:
// the number, -1 when the text is no number, -2 when it is one out of range.
int parse_facility(const std::string& text)
{
    for (int i = 0; i < kFacilityCount; ++i)
        if (text == kFacilityNames[i] || text == facility_text(i)) return i;
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
    const long number = std::stol(text);
    return number < kFacilityCount ? static_cast<int>(number) : -2;
}

} // namespace

CMyPropertyPage6::CMyPropertyPage6() : CPropertyPage(IDD_PAGE_FORWARD)
{
    for (UINT id : {IDC_FORWARD_SYSLOG_ON, IDC_FORWARD_JSON_ON}) on_command(id, [this] { update_enabling(); });
    for (UINT id : {IDC_FORWARD_UDP, IDC_FORWARD_TCP, IDC_FORWARD_TLS}) on_command(id, [this] { suggest_port(); });
    on_command(IDC_FORWARD_JSON_BROWSE, [this] { browse_into(json_path_, kJsonFilter, kChooserFlags); });
}

void CMyPropertyPage6::DoDataExchange(CDataExchange& dx)
{
    dx.check(IDC_FORWARD_SYSLOG_ON, syslog_on_);
    dx.text(IDC_FORWARD_SYSLOG_HOST, syslog_host_, kHostNameLimit);
    dx.number(IDC_FORWARD_SYSLOG_PORT, syslog_port_, 1, kHighestPort);
    dx.radio(IDC_FORWARD_UDP, transport_);
    dx.check(IDC_FORWARD_VERIFY, verify_on_);
    exchange_facility(dx);
    dx.check(IDC_FORWARD_JSON_ON, json_on_);
    dx.text(IDC_FORWARD_JSON_PATH, json_path_, kPathLimit);
    dx.text(IDC_FORWARD_HOSTS, forward_hosts_, static_cast<int>(kHostListSize - 1));
    // The service reads the list into kHostListSize bytes and forwards to no further manager when it does not fit.
    if (dx.save && dx.ok() && forward_hosts_.size() >= kHostListSize) dx.fail(IDC_FORWARD_HOSTS, kForwardHostsTooLong);
}

void CMyPropertyPage6::exchange_facility(CDataExchange& dx)
{
    if (!dx.save) facility_text_ = facility_text(facility_);
    dx.text(IDC_FORWARD_FACILITY, facility_text_, 32);
    if (!dx.save || !dx.ok()) return;
    const int number = parse_facility(facility_text_);
    if (number == -1) return dx.fail(IDC_FORWARD_FACILITY, kNotANumber);
    if (number == -2) return dx.fail(IDC_FORWARD_FACILITY, kFacilityOutOfRange);
    facility_ = number;
}

BOOL CMyPropertyPage6::OnInitDialog()
{
    for (int i = 0; i < kFacilityCount; ++i)
        SendMessageW(item(IDC_FORWARD_FACILITY), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(facility_text(i).c_str()).c_str()));
    syslog_on_ = read_dword_setting("f_syslog", 0);
    syslog_host_ = read_text("syslog_host", kHostNameLimit);
    transport_ = read_dword_setting("syslog_transport", 0);
    if (transport_ < 0 || transport_ > kTlsTransport) transport_ = 0;  // the service takes any other value for UDP
    const std::int32_t port = read_dword_setting("syslog_port", -1);
    port_stored_ = port != -1;
    syslog_port_ = port_stored_ ? static_cast<unsigned>(port) : transport_ == kTlsTransport ? kSyslogTlsPort : kSyslogPort;
    verify_on_ = read_dword_setting("f_syslog_verify", 1) != 0 ? 1 : 0;  // only 0 turns the check off
    facility_ = read_dword_setting("syslog_facility", 16);
    json_on_ = read_dword_setting("f_jsonfile", 0);
    json_path_ = read_text("jsonfile", kPathLimit);
    forward_hosts_ = read_text("forward_hosts", static_cast<int>(kHostListSize - 1));
    UpdateData(false);
    update_enabling();
    return TRUE;
}

void CMyPropertyPage6::update_enabling()
{
    UpdateData(true);
    const bool syslog = is_checked(IDC_FORWARD_SYSLOG_ON);
    for (int id : {IDC_FORWARD_SYSLOG_HOST, IDC_FORWARD_SYSLOG_PORT, IDC_FORWARD_UDP, IDC_FORWARD_TCP, IDC_FORWARD_TLS,
                   IDC_FORWARD_FACILITY})
        enable(id, syslog);
    enable(IDC_FORWARD_VERIFY, syslog && is_checked(IDC_FORWARD_TLS));
    enable(IDC_FORWARD_JSON_PATH, is_checked(IDC_FORWARD_JSON_ON));
    enable(IDC_FORWARD_JSON_BROWSE, is_checked(IDC_FORWARD_JSON_ON));
}

// A port never stored follows the transport while it shows the other one's default.
void CMyPropertyPage6::suggest_port()
{
    const bool tls = is_checked(IDC_FORWARD_TLS);
    wchar_t text[8] = L"";
    GetWindowTextW(item(IDC_FORWARD_SYSLOG_PORT), text, 8);
    if (!port_stored_ && std::wcscmp(text, tls ? L"514" : L"6514") == 0)
        set_item_text(IDC_FORWARD_SYSLOG_PORT, std::to_string(tls ? kSyslogTlsPort : kSyslogPort).c_str());
    update_enabling();
}

void CMyPropertyPage6::OnOK()
{
    UpdateData(true);
    write_dword_setting("f_syslog", syslog_on_);
    write_string_setting("syslog_host", syslog_host_.c_str());
    write_number("syslog_port", syslog_port_);
    write_dword_setting("syslog_transport", transport_);
    write_dword_setting("f_syslog_verify", verify_on_);
    write_dword_setting("syslog_facility", facility_);
    write_dword_setting("f_jsonfile", json_on_);
    write_string_setting("jsonfile", json_path_.c_str());
    write_string_setting("forward_hosts", forward_hosts_.c_str());
}

// --- The sheet ----------------------------------------------------------------

CMyPropertySheet::CMyPropertySheet(HWND owner) : CPropertySheet(IDS_SERVICE_SHEET_CAPTION, owner)
{
    AddPage(storage_);
    AddPage(reception_);
    AddPage(mail_);
    AddPage(sound_);
    AddPage(snmpv3_);
    AddPage(forward_);
    AddPage(rules_);
}

// --- SNMPv3 user dialog ---------------------------------------------------------

namespace {

const char kNameRefused[] = "ユーザー名は 1 から 32 バイトで入力してください。";
const char kNameRefusedCharacter[] = "ユーザー名に \\ や制御文字は使えません。";
const char kNameTaken[] = "同じ名前のユーザーがすでにあります。";
const char kNotOnThisWindows[] = "この Windows では %1 を使えません。";
const char kAuthTooShort[] = "認証のﾊﾟｽﾜｰﾄﾞは 8 文字以上で入力してください。";
const char kPrivTooShort[] = "暗号化のﾊﾟｽﾜｰﾄﾞは 8 文字以上で入力してください。";
const char kPrivWithoutAuth[] = "暗号化を使うには、認証の方式も選んでください。";
const char kEngineIdRefused[] = "ｴﾝｼﾞﾝIDは 5 から 32 ﾊﾞｲﾄの16進数で入力してください(空欄: すべてのｴｰｼﾞｪﾝﾄ)。";
const char kTooManyUsers[] = "ユーザーは 64 人まで登録できます。";
const char kNotStored[] = "次のユーザーの変更を保存できませんでした: ";
const char kCommunitiesTooLong[] = "ｺﾐｭﾆﾃｨは合わせて 4095 ﾊﾞｲﾄ以内で入力してください。";

std::string naming(std::string text, const char* name) { return text.replace(text.find("%1"), 2, name); }

// A protocol number as an index of its list; a number out of range is shown as none.
int protocol_index(std::int32_t value) { return value >= 0 && value < kProtocolCount ? value : 0; }

void fill_choices(HWND combo, const char (*names)[9], int count)
{
    for (int i = 0; i < count; ++i)
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(names[i]).c_str()));
}

// An engine ID typed as hex in lower case, as the receiver shows its own; false
// when it is not 5 to 32 octets of hex. Empty stays empty: every engine.
bool normal_engine_id(std::string& hex)
{
    std::uint8_t octets[kMaxEngineIdSize];
    std::size_t size = 0;
    if (hex.empty()) return true;
    if (!parse_hex_octets(hex.c_str(), octets, sizeof octets, size) || size < 5) return false;
    char text[2 * kMaxEngineIdSize + 1];
    format_hex_octets(octets, size, text);
    hex = text;
    return true;
}

// No control character, and no backslash: it would name a key below the user's.
bool name_characters_valid(const std::string& name)
{
    const std::wstring wide = widen(name.c_str());
    return std::none_of(wide.begin(), wide.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F || c == L'\\'; });
}

// Registry key names do not tell case apart: "Alice" and "alice" are one subkey.
bool same_key_name(const std::string& a, const std::string& b)
{
    return CompareStringOrdinal(widen(a.c_str()).c_str(), -1, widen(b.c_str()).c_str(), -1, TRUE) == CSTR_EQUAL;
}

} // namespace

CUsmUserDlg::CUsmUserDlg(HWND owner, const UsmUserSetting& user, bool editing,
                         std::function<bool(const std::string&)> taken)
    : CDialog(IDD_USM_USER, owner), user_(user), editing_(editing), taken_(std::move(taken))
{
    on_command(IDC_USER_AUTH, [this] { update_enabling(); });
    on_command(IDC_USER_PRIV, [this] { update_enabling(); });
}

BOOL CUsmUserDlg::OnInitDialog()
{
    fill_choices(item(IDC_USER_AUTH), kAuthNames, kProtocolCount);
    fill_choices(item(IDC_USER_PRIV), kPrivNames, kProtocolCount);
    SendMessageW(item(IDC_USER_NAME), EM_SETREADONLY, editing_ ? TRUE : FALSE, 0);
    name_ = user_.name;
    auth_ = protocol_index(user_.auth);
    auth_field_ = user_.auth_pass[0] != '\0' ? kUnchangedPassword : "";
    priv_ = protocol_index(user_.priv);
    priv_field_ = user_.priv_pass[0] != '\0' ? kUnchangedPassword : "";
    engine_id_ = user_.engine_id;
    UpdateData(false);
    update_enabling();
    return TRUE;
}

void CUsmUserDlg::DoDataExchange(CDataExchange& dx)
{
    dx.text(IDC_USER_NAME, name_, static_cast<int>(kMaxUserNameSize));
    dx.choice(IDC_USER_AUTH, auth_);
    dx.text(IDC_USER_AUTH_PASSWORD, auth_field_, kPasswordLimit);
    dx.choice(IDC_USER_PRIV, priv_);
    dx.text(IDC_USER_PRIV_PASSWORD, priv_field_, kPasswordLimit);
    dx.text(IDC_USER_ENGINE_ID, engine_id_, static_cast<int>(2 * kMaxEngineIdSize));
    auth_ = protocol_index(auth_);  // a list with nothing selected stands for none
    priv_ = protocol_index(priv_);
    if (dx.save && dx.ok()) validate(dx);
    if (dx.save && dx.ok()) take_values();
}

void CUsmUserDlg::update_enabling()
{
    enable(IDC_USER_AUTH_PASSWORD, SendMessageW(item(IDC_USER_AUTH), CB_GETCURSEL, 0, 0) > 0);
    enable(IDC_USER_PRIV_PASSWORD, SendMessageW(item(IDC_USER_PRIV), CB_GETCURSEL, 0, 0) > 0);
}

// The password a field stands for: the stored one while it shows the placeholder.
std::string CUsmUserDlg::password(const std::string& field, const char* stored) const
{
    return field == kUnchangedPassword && stored[0] != '\0' ? std::string(stored) : field;
}

// The rules the store applies, each refusal naming its field.
void CUsmUserDlg::validate(CDataExchange& dx)
{
    std::string unused;
    const std::string auth_pass = password(auth_field_, user_.auth_pass);
    const std::string priv_pass = password(priv_field_, user_.priv_pass);
    if (name_.empty() || name_.size() > kMaxUserNameSize) return dx.fail(IDC_USER_NAME, kNameRefused);
    if (!name_characters_valid(name_)) return dx.fail(IDC_USER_NAME, kNameRefusedCharacter);
    if (!editing_ && taken_(name_)) return dx.fail(IDC_USER_NAME, kNameTaken);
    // The service could never use a user whose protocol this Windows lacks (CNG has no SHA-224).
    if (!auth_protocol_available(static_cast<AuthProtocol>(auth_)))
        return dx.fail(IDC_USER_AUTH, naming(kNotOnThisWindows, kAuthNames[auth_]));
    if (!priv_protocol_available(static_cast<PrivProtocol>(priv_)))
        return dx.fail(IDC_USER_PRIV, naming(kNotOnThisWindows, kPrivNames[priv_]));
    if (auth_ > 0 && auth_pass.size() < kShortestPassword) return dx.fail(IDC_USER_AUTH_PASSWORD, kAuthTooShort);
    if (auth_ > 0 && !scrambled(auth_pass, unused)) return dx.fail(IDC_USER_AUTH_PASSWORD, kPasswordRefused);
    if (priv_ > 0 && auth_ <= 0) return dx.fail(IDC_USER_PRIV, kPrivWithoutAuth);
    if (priv_ > 0 && priv_pass.size() < kShortestPassword) return dx.fail(IDC_USER_PRIV_PASSWORD, kPrivTooShort);
    if (priv_ > 0 && !scrambled(priv_pass, unused)) return dx.fail(IDC_USER_PRIV_PASSWORD, kPasswordRefused);
    if (!normal_engine_id(engine_id_)) return dx.fail(IDC_USER_ENGINE_ID, kEngineIdRefused);
}

// The dialog's values into the user; a protocol set to none drops its password.
void CUsmUserDlg::take_values()
{
    const std::string auth_pass = auth_ > 0 ? password(auth_field_, user_.auth_pass) : "";
    const std::string priv_pass = priv_ > 0 ? password(priv_field_, user_.priv_pass) : "";
    copy_text(user_.name, sizeof user_.name, name_);
    user_.auth = auth_;
    copy_text(user_.auth_pass, sizeof user_.auth_pass, auth_pass);
    user_.priv = priv_;
    copy_text(user_.priv_pass, sizeof user_.priv_pass, priv_pass);
    copy_text(user_.engine_id, sizeof user_.engine_id, engine_id_);
}

// --- SNMPv3 page ----------------------------------------------------------------

CMyPropertyPage5::CMyPropertyPage5() : CPropertyPage(IDD_PAGE_SNMPV3)
{
    on_command(IDC_V3_ADD, [this] { add_user(); });
    on_command(IDC_V3_EDIT, [this] { edit_user(); });
    on_command(IDC_V3_DELETE, [this] { delete_user(); });
    on_command(IDC_V3_ONLY, [this] { update_enabling(); });
    on_notify(IDC_V3_USERS, NM_DBLCLK, [this](NMHDR*) { edit_user(); });
    on_notify(IDC_V3_USERS, LVN_ITEMCHANGED, [this](NMHDR*) { update_enabling(); });
}

void CMyPropertyPage5::DoDataExchange(CDataExchange& dx)
{
    dx.text(IDC_V3_ENGINE_ID, engine_id_, static_cast<int>(2 * kMaxEngineIdSize));
    dx.check(IDC_V3_ONLY, v3_only_);
    dx.text(IDC_V3_COMMUNITIES, communities_, static_cast<int>(kHostListSize - 1));
    // The service reads the list into kHostListSize bytes and takes every community when it does not fit.
    if (dx.save && dx.ok() && communities_.size() >= kHostListSize) dx.fail(IDC_V3_COMMUNITIES, kCommunitiesTooLong);
}

BOOL CMyPropertyPage5::OnInitDialog()
{
    static const ListColumn kColumns[] = {{"ユーザー名", 52}, {"認証", 34}, {"暗号化", 38}, {"エンジンID", 60}};
    add_list_columns(hwnd(), item(IDC_V3_USERS), kColumns, 4);
    std::uint8_t id[kMaxEngineIdSize];
    char hex[2 * kMaxEngineIdSize + 1] = "";
    format_hex_octets(id, receiver_engine_id(id), hex);
    engine_id_ = hex;
    communities_ = read_text("communities", static_cast<int>(kHostListSize - 1));
    v3_only_ = read_dword_setting("f_v3only", 0);
    load_users();
    UpdateData(false);
    show_users(-1);
    return TRUE;
}

void CMyPropertyPage5::load_users()
{
    std::unique_ptr<char[][256]> names(new char[kMaxUsmUsers][256]);
    const int count = std::min(list_setting_subkeys("Users", names.get(), kMaxUsmUsers), kMaxUsmUsers);
    for (int i = 0; i < count; ++i) {
        Entry entry{};
        if (read_usm_user(names[i], entry.user)) users_.push_back(entry);
    }
}

// The list shows the users as they will be stored, with row `selected` selected.
void CMyPropertyPage5::show_users(int selected)
{
    std::vector<std::vector<std::string>> rows;
    for (const Entry& entry : users_) {
        const UsmUserSetting& u = entry.user;
        rows.push_back({u.name, u.auth == protocol_index(u.auth) ? kAuthNames[u.auth] : "?",
                        u.priv == protocol_index(u.priv) ? kPrivNames[u.priv] : "?",
                        u.engine_id[0] != '\0' ? u.engine_id : kEveryEngine});
    }
    fill_list(item(IDC_V3_USERS), rows, selected);
    fit_list_column(item(IDC_V3_USERS), 3);  // the engine IDs whole
    update_enabling();
}

int CMyPropertyPage5::selected_row() const
{
    return selected_list_row(item(IDC_V3_USERS));
}

void CMyPropertyPage5::update_enabling()
{
    const bool row = selected_row() >= 0;
    enable(IDC_V3_EDIT, row);
    enable(IDC_V3_DELETE, row);
    enable(IDC_V3_COMMUNITIES, !is_checked(IDC_V3_ONLY));
}

bool CMyPropertyPage5::name_taken(const std::string& name) const
{
    return std::any_of(users_.begin(), users_.end(), [&name](const Entry& e) { return same_key_name(e.user.name, name); });
}

void CMyPropertyPage5::add_user()
{
    if (users_.size() >= static_cast<std::size_t>(kMaxUsmUsers)) {
        message_box(sheet(), kTooManyUsers, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    CUsmUserDlg dialog(sheet(), UsmUserSetting{}, false, [this](const std::string& n) { return name_taken(n); });
    if (dialog.DoModal() != IDOK) return;
    users_.push_back(Entry{dialog.user(), true});
    show_users(static_cast<int>(users_.size()) - 1);
}

void CMyPropertyPage5::edit_user()
{
    const int row = selected_row();
    if (row < 0) return;
    Entry& entry = users_[static_cast<std::size_t>(row)];
    CUsmUserDlg dialog(sheet(), entry.user, true, [](const std::string&) { return false; });
    if (dialog.DoModal() != IDOK) return;
    entry = Entry{dialog.user(), true};
    show_users(row);
}

void CMyPropertyPage5::delete_user()
{
    const int row = selected_row();
    if (row < 0) return;
    deleted_.push_back(users_[static_cast<std::size_t>(row)].user.name);
    users_.erase(users_.begin() + row);
    show_users(-1);
}

void CMyPropertyPage5::OnOK()
{
    UpdateData(true);
    write_string_setting("communities", communities_.c_str());
    write_dword_setting("f_v3only", v3_only_);
    store_users();
}

// Deletions first: a user deleted and added again under the same name is written anew.
void CMyPropertyPage5::store_users()
{
    std::string failed;
    const auto note = [&failed](const char* name) { failed += (failed.empty() ? "" : ", ") + std::string(name); };
    for (const std::string& name : deleted_)
        if (delete_usm_user(name.c_str()) == 0) note(name.c_str());
    for (Entry& entry : users_) {
        if (!entry.changed) continue;
        if (write_usm_user(entry.user) == 0) note(entry.user.name);
        entry.changed = false;
    }
    deleted_.clear();
    if (!failed.empty()) message_box(sheet(), kNotStored + failed, MB_OK | MB_ICONEXCLAMATION);
}
