#include "platform/event_log.h"

#include <syslog.h>

#include <string>

#include "platform/posix/local_text.h"

namespace {

// The same texts as the Windows message table, in CP932.
const char* event_text(ServiceEvent event)
{
    switch (event) {
    case kEventInstalled: return "Orvel SNMP Trap Receiver がインストールされました。";
    case kEventUninstalled: return "Orvel SNMP Trap Receiver がアンインストールされました。";
    case kEventStarted: return "Orvel SNMP Trap Receiver サービスが開始しました。";
    case kEventStopped: return "Orvel SNMP Trap Receiver サービスが終了しました。";
    case kEventText: return "";
    }
    return "";
}

} // namespace

void report_service_event(ServiceEvent event) { report_service_text(event_text(event)); }

void report_service_text(const char* cp932)
{
    std::string utf8;
    if (!to_utf8(cp932, utf8)) return;
    openlog("tarnow", LOG_PID, LOG_DAEMON);
    syslog(LOG_INFO, "%s", utf8.c_str());
    closelog();
}
