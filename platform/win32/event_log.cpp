#include "platform/event_log.h"

#include <windows.h>

void report_service_event(ServiceEvent event)
{
    HANDLE source = RegisterEventSourceA(nullptr, kServiceName);
    if (source == nullptr) return;
    ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, static_cast<DWORD>(event), nullptr, 0, 0, nullptr, nullptr);
    DeregisterEventSource(source);
}
