#include "common/settings.h"

#include <cstring>

#include "common/password.h"

namespace {

bool is_separator(char c) { return c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

int split_host_list(char* text, const char* hosts[kMaxPopupHosts])
{
    for (int i = 0; i < kMaxPopupHosts; ++i) hosts[i] = nullptr;
    int count = 0;
    char* p = text;
    while (*p != '\0') {
        if (is_separator(*p)) {
            *p++ = '\0';
            continue;
        }
        if (count < kMaxPopupHosts) hosts[count++] = p;
        while (*p != '\0' && !is_separator(*p)) ++p;
    }
    return count;
}

int load_service_settings(ServiceSettings& s)
{
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    s.traplevel = read_dword_setting("traplevel", 0);
    s.f_v2c = read_dword_setting("f_v2c", 1);
    s.f_popup = read_dword_setting("f_popup", 0);
    s.f_popup_mysend = read_dword_setting("f_popup_mysend", 1);
    read_string_setting("popup_host", s.popup_host, sizeof s.popup_host, "");
    s.binfile.enabled = read_dword_setting("f_binfile", 0);
    read_string_setting("binfile", s.binfile.path, kPathSize, "");
    s.csvfile.enabled = read_dword_setting("f_csvfile", 0);
    read_string_setting("csvfile", s.csvfile.path, kPathSize, "");
    s.logfile.enabled = read_dword_setting("f_logfile", 0);
    read_string_setting("logfile", s.logfile.path, kPathSize, "");
    s.f_sound = read_dword_setting("f_sound", 0);
    s.f_wave = read_dword_setting("f_wave", 1);
    read_string_setting("wavefile", s.wavefile, kPathSize, "");
    s.waveloop = read_dword_setting("waveloop", 0);
    s.sound_freq = read_dword_setting("sound_freq", 500);
    s.sound_msec = read_dword_setting("sound_msec", 200);
    s.f_email = read_dword_setting("f_email", 0);
    s.smtpport = read_dword_setting("smtpport", 25);
    read_string_setting("smtpname", s.smtpname, kNameSize, "");
    read_string_setting("mail_from", s.mail_from, kNameSize, "");
    read_string_setting("mail_to", s.mail_to, kNameSize, "");
    s.f_pop3 = read_dword_setting("f_pop3", 0);
    s.pop_port = read_dword_setting("pop_port", 110);
    read_string_setting("pop_server", s.pop_server, kNameSize, "");
    read_string_setting("pop_user", s.pop_user, kNameSize, "");
    read_string_setting("pop_pass", s.pop_pass, kNameSize, "");
    s.smtp_security = read_dword_setting("smtp_security", 0);
    s.f_smtp_verify = read_dword_setting("f_smtp_verify", 1);
    s.f_smtp_auth = read_dword_setting("f_smtp_auth", 0);
    read_string_setting("smtp_user", s.smtp_user, kNameSize, "");
    read_string_setting("smtp_pass", s.smtp_pass, kNameSize, "");
    s.f_program = read_dword_setting("f_program", 0);
    read_string_setting("program", s.program, kPathSize, "");
    read_string_setting("communities", s.communities, sizeof s.communities, "");
    s.f_v3only = read_dword_setting("f_v3only", 0);
    s.f_syslog = read_dword_setting("f_syslog", 0);
    read_string_setting("syslog_host", s.syslog_host, kNameSize, "");
    s.syslog_transport = read_dword_setting("syslog_transport", 0);
    s.syslog_port = read_dword_setting("syslog_port", s.syslog_transport == 2 ? 6514 : 514);
    s.f_syslog_verify = read_dword_setting("f_syslog_verify", 1);
    s.syslog_facility = read_dword_setting("syslog_facility", 16);
    s.syslog_queue = read_dword_setting("syslog_queue", kSyslogQueueRoom);
    s.jsonfile.enabled = read_dword_setting("f_jsonfile", 0);
    read_string_setting("jsonfile", s.jsonfile.path, kPathSize, "");
    read_string_setting("forward_hosts", s.forward_hosts, sizeof s.forward_hosts, "");
    s.f_mibnames = read_dword_setting("f_mibnames", 1);
    read_string_setting("mibdirs", s.mibdirs, sizeof s.mibdirs, "");
    s.dup_seconds = read_dword_setting("dup_seconds", 0);
    s.mail_max_per_minute = read_dword_setting("mail_max_per_minute", 0);
    s.counter_seconds = read_dword_setting("counter_seconds", 3600);

    split_host_list(s.popup_host, s.popup_hosts);
    unscramble_password(s.pop_pass, s.pop_pass);
    unscramble_password(s.smtp_pass, s.smtp_pass);
    return 0;
}
