#include "manager/service_sheet.h"

#include <commdlg.h>
#include <mmsystem.h>

#include <cwchar>
#include <string>
#include <vector>

#include "common/password.h"
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
const char kPasswordRefused[] = "パスワードには、空白・\"・\\ を除く半角の英数字と記号を 249 文字まで使えます。";

// A stored text of up to `limit` characters: in code page 932 each may take two bytes.
std::string read_text(const char* name, int limit, const char* fallback = "")
{
    std::vector<char> buffer(2 * static_cast<std::size_t>(limit) + 1, '\0');
    read_string_setting(name, buffer.data(), buffer.size(), fallback);
    return buffer.data();
}

unsigned read_number(const char* name, unsigned fallback)
{
    return static_cast<unsigned>(read_dword_setting(name, static_cast<std::int32_t>(fallback)));
}

void write_number(const char* name, unsigned value) { write_dword_setting(name, static_cast<std::int32_t>(value)); }

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

// --- The sheet ----------------------------------------------------------------

CMyPropertySheet::CMyPropertySheet(HWND owner) : CPropertySheet(IDS_SERVICE_SHEET_CAPTION, owner)
{
    AddPage(storage_);
    AddPage(reception_);
    AddPage(mail_);
    AddPage(sound_);
}
