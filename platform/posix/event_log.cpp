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
    }
    return "";
}

} // namespace

void report_service_event(ServiceEvent event)
{
    std::string utf8;
    if (!to_utf8(event_text(event), utf8)) return;
    openlog("tarnow", LOG_PID, LOG_DAEMON);
    syslog(LOG_INFO, "%s", utf8.c_str());
    closelog();
}
