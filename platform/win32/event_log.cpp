#include "platform/event_log.h"

#include <windows.h>

void report_service_event(ServiceEvent event)
{
    HANDLE source = RegisterEventSourceA(nullptr, kServiceName);
    if (source == nullptr) return;
    ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, static_cast<DWORD>(event), nullptr, 0, 0, nullptr, nullptr);
    DeregisterEventSource(source);
}

void report_service_text(const char* cp932)
{
    HANDLE source = RegisterEventSourceA(nullptr, kServiceName);
    if (source == nullptr) return;
    const char* strings[1] = {cp932};
    ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, kEventText, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}
