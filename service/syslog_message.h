// The syslog message of a trap: RFC 5424, the notification mapped as RFC
// 5675 section 3 maps it.
//
// HEADER: PRI from the facility (0..23; another number gives local0) and
// severity 5 (notice); VERSION 1; TIMESTAMP the receive time in UTC; HOSTNAME
// this machine's name ("-" when it has none fit for the field); APP-NAME
// "tarnow"; PROCID and MSGID "-".
// STRUCTURED-DATA: the element "snmp" holding the bindings of the
// notification in its SNMPv2 form (RFC 3584 3.1): sysUpTime.0, snmpTrapOID.0,
// the trap's own bindings, then snmpTrapAddress.0 (an IPv4 agent's only: no
// IpAddress holds an IPv6 one), snmpTrapCommunity.0 (not
// for SNMPv3, whose frame holds a user name there) and snmpTrapEnterprise.0
// where the bindings lack them. Binding N gives vN, its name, and one value
// parameter named by the type: dN INTEGER, xN OCTET STRING in hex, oN OBJECT
// IDENTIFIER, iN IpAddress, cN Counter32, uN Gauge32/Unsigned32, tN TimeTicks,
// CN Counter64, pN Opaque in hex, nN NULL (empty); an OCTET STRING that reads
// as text also gives aN, the text in UTF-8. Then the element "origin" with
// the agent address as "ip" (dotted IPv4, or IPv6 text as RFC 5952 writes it).
// MSG: a byte order mark and the trap's report (the console's lines, LF
// between them, with the formatter's names) in UTF-8.
//
// A message is cut to `size` octets: parameters go whole or not at all, and
// after the first that does not fit no other binding follows (the element
// stays well formed); the text is cut at a character. Every PARAM-VALUE is
// escaped as RFC 5424 6.3.3 asks and is valid UTF-8.
//
// A formatter keeps large buffers (a record, the report): make one per
// thread, once, and use it for every message. No allocation per message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/mib_names.h"
#include "common/trap_frame.h"

class SyslogFormatter {
public:
    // `names` (null: none) go into the report of every message; they must
    // outlive the formatter.
    explicit SyslogFormatter(int facility, const MibNames* names = nullptr);
    ~SyslogFormatter();
    SyslogFormatter(const SyslogFormatter&) = delete;
    SyslogFormatter& operator=(const SyslogFormatter&) = delete;

    // The message for the SNMPv1 Trap message in `frame` (host order) into
    // out[0 .. size), not NUL-terminated; its length, 0 for a frame that is
    // no trap.
    std::size_t format(const TrapFrame& frame, char* out, std::size_t size);

    struct Buffers;

private:
    int priority_;
    const MibNames* names_;
    char hostname_[256];
    std::unique_ptr<Buffers> buffers_;
};
