#include "platform/event_log.h"

#include <iconv.h>
#include <syslog.h>

#include <cstring>

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

// CP932 to UTF-8 into `out`; false when the text does not convert.
bool to_utf8(const char* text, char* out, std::size_t size)
{
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char* in = const_cast<char*>(text);
    std::size_t in_left = std::strlen(text);
    std::size_t out_left = size - 1;
    const bool ok = iconv(cd, &in, &in_left, &out, &out_left) != static_cast<std::size_t>(-1);
    *out = '\0';
    iconv_close(cd);
    return ok;
}

} // namespace

void report_service_event(ServiceEvent event)
{
    char utf8[256];
    if (!to_utf8(event_text(event), utf8, sizeof utf8)) return;
    openlog("tarnow", LOG_PID, LOG_DAEMON);
    syslog(LOG_INFO, "%s", utf8);
    closelog();
}
