// Notifications to a syslog collector: every recorded trap as one RFC 5424
// message (syslog_message.h) over UDP (RFC 5426, one datagram a message, at
// most 2048 octets, the size RFC 5426 asks every receiver to take, so that no
// collector cuts or drops it), TCP (RFC 6587 octet counting, "LEN SP MSG") or
// TLS (RFC 5425, the same framing; the collector's certificate checked as the
// mail client checks it when "f_syslog_verify" is 1); over TCP and TLS a
// message holds at most 8192 octets, the size RFC 5425 asks receivers to take.
//
// Order of calls, all on the receive loop's thread: start_syslog_sender()
// once when the loop starts (it does nothing unless "f_syslog" is 1 and
// "syslog_host" is set); queue_syslog_notification() for every trap;
// finish_syslog_sender() when the loop ends. SyslogSenderAtStop does the
// first and the last. The sender holds the names in use when it starts
// (mib_in_use.h) for the reports in its messages.
//
// The loop never waits for the collector: queue_syslog_notification() copies
// the trap's frame into a queue of fixed memory ("syslog_queue" frames, 10000
// unless told, in a ring of frame bytes allocated once) and returns; one
// worker thread, of lower priority than the loop's, formats and sends, many
// messages per write. Over TCP and TLS
// the worker connects when it starts and again after the connection broke,
// waiting 1 second after a failed attempt, then twice as long each time up to
// 60 seconds; meanwhile the frames wait in the queue, and a frame the queue
// cannot hold is counted as lost. The log file gets one line when a
// connection fails (not again until a message has gone out), and one line
// with the number of lost notifications once the queue has emptied after the
// loss. A write that fails is sent again on the next connection, so a
// collector may see a message twice. TCP carries no acknowledgement of
// messages (RFC 6587): what the system took for a connection the collector
// had already closed, before the close was seen, is lost uncounted.
//
// finish_syslog_sender() gives the worker up to 5 seconds to send what is
// queued; whatever is left is counted in one log line, and the worker ends
// (one held in a connection attempt ends when the attempt does).
#pragma once

#include "common/settings.h"
#include "common/trap_frame.h"

void start_syslog_sender(const ServiceSettings& s);
void queue_syslog_notification(const TrapFrame& frame);
void finish_syslog_sender();

struct SyslogSenderAtStop {
    explicit SyslogSenderAtStop(const ServiceSettings& s) { start_syslog_sender(s); }
    SyslogSenderAtStop(const SyslogSenderAtStop&) = delete;
    SyslogSenderAtStop& operator=(const SyslogSenderAtStop&) = delete;
    ~SyslogSenderAtStop() { finish_syslog_sender(); }
};
