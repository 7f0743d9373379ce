// The receiver's settings: every value it reads from the settings store, with
// its default and buffer size, loaded once per start of the receive loop.
//
// load_service_settings() clears `s`, reads the values in a fixed order, splits
// the popup host list and unscrambles the POP3 and SMTP passwords in place (a
// password that is not in scrambled form is kept as stored). A value missing
// from the store, or too long for its field, gives the default. `popup_hosts` points
// into `popup_host`, so a ServiceSettings is not copied: share it read-only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/settings_store.h"

constexpr int kMaxPopupHosts = 16;
constexpr std::size_t kPathSize = 260;
constexpr std::size_t kNameSize = 256;
constexpr std::size_t kHostListSize = 4096;
constexpr std::int32_t kSyslogQueueRoom = 10000;

struct FileSetting {
    std::int32_t enabled;
    char path[kPathSize];
};

struct ServiceSettings {
    std::int32_t traplevel;
    std::int32_t f_v2c;  // SNMPv2c traps and informs accepted
    std::int32_t f_popup;
    std::int32_t f_popup_mysend;
    const char* popup_hosts[kMaxPopupHosts];  // null past the last name
    FileSetting binfile;                      // f_binfile, binfile
    FileSetting csvfile;                      // f_csvfile, csvfile
    FileSetting logfile;                      // f_logfile, logfile
    std::int32_t f_sound;
    std::int32_t f_wave;
    char wavefile[kPathSize];
    std::int32_t waveloop;
    std::int32_t sound_freq;
    std::int32_t sound_msec;
    std::int32_t f_email;
    std::int32_t smtpport;
    char smtpname[kNameSize];
    char mail_from[kNameSize];
    char mail_to[kNameSize];
    std::int32_t f_pop3;
    std::int32_t pop_port;
    char pop_server[kNameSize];
    char pop_user[kNameSize];
    char pop_pass[kNameSize];  // plain text after loading
    std::int32_t smtp_security;  // 0 none, 1 STARTTLS, 2 TLS from the first byte
    std::int32_t f_smtp_verify;
    std::int32_t f_smtp_auth;
    char smtp_user[kNameSize];
    char smtp_pass[kNameSize];  // plain text after loading
    std::int32_t f_program;
    char program[kPathSize];
    char popup_host[kHostListSize];  // the host list text, cut into popup_hosts
    char communities[kHostListSize];  // v1 and v2c communities taken, ';' between; empty: every one
    std::int32_t f_v3only;            // v1 and v2c messages dropped
    std::int32_t f_syslog;            // notifications sent to a syslog collector
    char syslog_host[kNameSize];
    std::int32_t syslog_port;         // 514, or 6514 over TLS when not stored
    std::int32_t syslog_transport;    // 0 UDP, 1 TCP (octet counting), 2 TLS
    std::int32_t f_syslog_verify;     // the collector's certificate checked over TLS
    std::int32_t syslog_facility;     // 0..23; 16 is local0
    std::int32_t syslog_queue;        // notifications waiting for the collector, at most; not shown, for tests and tuning
    FileSetting jsonfile;             // f_jsonfile, jsonfile: one JSON object per trap per line
    char forward_hosts[kHostListSize];  // further managers, host or host:port, ';' between
    std::int32_t f_mibnames;          // names from MIB modules in the report and the manager
    char mibdirs[kHostListSize];      // folders of MIB modules, ';' between; empty: the platform's default
    std::int32_t dup_seconds;         // a repeat within this many seconds is not notified again; 0: off
    std::int32_t mail_max_per_minute;  // mails a minute before the rest wait for the minute's summary; 0: no limit
    std::int32_t counter_seconds;     // how often the counters go to the log (and at the stop); 0: never

    ServiceSettings() = default;
    ServiceSettings(const ServiceSettings&) = delete;
    ServiceSettings& operator=(const ServiceSettings&) = delete;
};

int load_service_settings(ServiceSettings& s);

// Cuts `text` in place at every ';' and blank (runs count as one, empty
// pieces are dropped) and points hosts[0..15] at the first 16 names; the rest
// of hosts is null. Returns the number of names kept.
int split_host_list(char* text, const char* hosts[kMaxPopupHosts]);

// True when a switch value is on: exactly 1.
inline bool is_on(std::int32_t flag) { return flag == 1; }
