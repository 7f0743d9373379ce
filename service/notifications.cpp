#include "service/notifications.h"

#include "service/file_recorders.h"

std::uint32_t trap_level_actions(const ServiceSettings& s, const TrapRecord& trap)
{
    const std::uint32_t alerts = kRunSound | kRunPopup | kRunProgram | kRunMail;
    return (passes_trap_level(s, trap) ? alerts : 0) | kRunSyslog;
}

void run_notifications(const ServiceSettings& s, const TrapRecord& trap, const TrapFrame& frame, const char* sender,
                       const char* report, std::uint32_t actions)
{
    if ((actions & kRunPopup) != 0 && is_on(s.f_popup)) send_trap_popup(s, trap);
    if ((actions & kRunSound) != 0 && is_on(s.f_sound)) play_trap_sound(s, trap);
    if (is_on(s.binfile.enabled)) write_bin_file(s.binfile, frame);
    if (is_on(s.csvfile.enabled)) write_csv_file(s.csvfile, trap);
    if (is_on(s.logfile.enabled)) write_log_file(s.logfile, report);
    if (is_on(s.jsonfile.enabled)) write_json_file(s.jsonfile, trap, frame, sender);
    if ((actions & kRunSyslog) != 0 && is_on(s.f_syslog)) queue_syslog_notification(frame);
    if ((actions & kRunMail) != 0 && is_on(s.f_email)) {
        // The mail worker may write to the log file at once: the entries held so far go first.
        if (is_on(s.logfile.enabled)) write_held_file_entries();
        start_mail_notification(s, trap, 0);
    }
    if ((actions & kRunProgram) != 0 && is_on(s.f_program)) run_trap_program(s, trap);
}

void retry_alert_workers()
{
    retry_popup_workers();
    retry_mail_workers();
}
