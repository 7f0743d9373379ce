// What the receiver counts while it runs: kept from the start of its loop,
// written to the log once an hour and at the stop, and published for the
// manager's status bar as DWORD values under the settings subkey "Counters"
// ("received", "recorded", "dropped", "duplicates", "mails_sent",
// "mails_summarised", "mails_failed"), where the system keeps such values.
#pragma once

#include <cstddef>
#include <cstdint>

struct ReceiverCounters {
    std::uint32_t received;          // datagrams taken from the socket
    std::uint32_t recorded;          // traps recorded and forwarded
    std::uint32_t dropped;           // traps a rule dropped
    std::uint32_t duplicates;        // repeats not notified again
    std::uint32_t mails_sent;        // mails the SMTP server took
    std::uint32_t mails_summarised;  // traps put into a minute's summary mail instead of a mail of their own
    std::uint32_t mails_failed;      // mails that could not be sent
};

// "受信 12, 記録 11, ルールで破棄 1, ..." into out.
void counters_text(const ReceiverCounters& counters, char* out, std::size_t size);

void publish_counters(const ReceiverCounters& counters);
// The last published counters; false (all 0) when none were.
bool read_published_counters(ReceiverCounters& out);
