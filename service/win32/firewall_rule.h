// The Windows Firewall rule that lets traps in: inbound UDP 162 for the
// receiver's program file, in every profile, through the firewall's COM
// interface (INetFwPolicy2). add_firewall_rule() replaces a rule of the same
// name, so installing twice leaves one; remove_firewall_rule() deletes it.
// Both initialise COM on the calling thread for the call and return the
// HRESULT of the first step that failed, S_OK when done.
#pragma once

#include <windows.h>

// The rule's name, as the firewall's own tools list it.
constexpr const wchar_t* kFirewallRuleName = L"ORVEL SNMP Trap Receiver (SNMP trap UDP 162)";

HRESULT add_firewall_rule(const char* program);
HRESULT remove_firewall_rule();
