// The actions the receive loop runs for a decoded trap, in their fixed order:
// popup, sound, record file, CSV file, log file, JSON lines file, syslog,
// mail, program. `sender` is the datagram's source address as text. Switches
// are on when exactly 1. The files take every trap; popup, sound, syslog,
// mail and program run when their switch is on and `actions` (trap_rules.h
// bits) asks for them: a matching rule's, else trap_level_actions(). `report` is the trap's
// log file entry (log_report_text(), with the names in use), made once for
// the console and the log file; the mail and syslog workers take the names
// in use themselves (mib_in_use.h). Results are ignored: a failed action
// never stops the next one.
#pragma once

#include "common/mib_names.h"
#include "common/settings.h"
#include "common/trap_frame.h"
#include "common/trap_record.h"
#include "common/trap_rules.h"
#include "service/syslog_out.h"

void run_notifications(const ServiceSettings& settings, const TrapRecord& trap, const TrapFrame& frame,
                       const char* sender, const char* report, std::uint32_t actions);

// What the trap level asks for: every alert for a trap whose generic-trap
// number is at least "traplevel", syslog for every trap.
std::uint32_t trap_level_actions(const ServiceSettings& settings, const TrapRecord& trap);

// Starts the popup and mail workers that could not start when their traps
// came (the system refused threads), so that waiting alerts go out; the
// receive loop calls it before every receive.
void retry_alert_workers();
void retry_popup_workers();
void retry_mail_workers();

// At the end of the receive loop: the mails under way and queued get a short
// grace (at most 10 seconds in all), and each one still undelivered is
// logged as dropped. MailWorkersAtStop calls it when the loop returns.
void finish_mail_workers();
struct MailWorkersAtStop {
    MailWorkersAtStop() = default;
    MailWorkersAtStop(const MailWorkersAtStop&) = delete;
    MailWorkersAtStop& operator=(const MailWorkersAtStop&) = delete;
    ~MailWorkersAtStop() { finish_mail_workers(); }
};

// The alerting actions. Each returns 0 (done, or nothing to do) or -1.
int send_trap_popup(const ServiceSettings& settings, const TrapRecord& trap);
int play_trap_sound(const ServiceSettings& settings, const TrapRecord& trap);
int start_mail_notification(const ServiceSettings& settings, const TrapRecord& trap, std::uint32_t repeats);
int run_trap_program(const ServiceSettings& settings, const TrapRecord& trap);

// True when the trap passes the trap level: generic-trap >= "traplevel".
inline bool passes_trap_level(const ServiceSettings& settings, const TrapRecord& trap)
{
    return trap.generic_trap >= settings.traplevel;
}

// True when run_notifications() holds up its caller for `actions`: a beep
// plays to its end and a program start waits for the program (a wave file
// plays on its own).
inline bool holds_up_caller(const ServiceSettings& settings, std::uint32_t actions)
{
    const bool beep = is_on(settings.f_sound) && !is_on(settings.f_wave) && (actions & kRunSound) != 0;
    return beep || (is_on(settings.f_program) && (actions & kRunProgram) != 0);
}
