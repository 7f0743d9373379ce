// Informational messages about the receiver's service life: the Windows event
// log (source "ORVEL SNMP Trap Receiver", message table compiled into the
// program), or syslog elsewhere (the text in UTF-8). Failures are silent.
#pragma once

constexpr const char* kServiceName = "ORVEL SNMP Trap Receiver";

enum ServiceEvent {
    kEventInstalled = 1,
    kEventUninstalled = 2,
    kEventStarted = 3,
    kEventStopped = 4,
    kEventText = 5,  // "%1"
};

void report_service_event(ServiceEvent event);

// A line about the service's work (its counters), as an informational event
// (message 5, "%1") or a syslog line; `cp932` is code page 932.
void report_service_text(const char* cp932);
