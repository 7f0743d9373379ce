// The receiver's counters while its loop runs (receiver_counters.h): the loop
// and the mail workers count with relaxed atomics, so counting never waits.
// CounterReports, made at each start of the loop, zeroes them, publishes
// them for the manager every 5 seconds while they change, writes them to the
// log file and the console (a service: the event log or the journal) every
// "counter_seconds" (an hour), and once more when the loop ends; 0 writes
// no such line.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "common/receiver_counters.h"
#include "common/settings.h"

enum class Counter { Received, Recorded, Dropped, Duplicates, MailsSent, MailsSummarised, MailsFailed, Count };

void count(Counter counter, std::uint32_t n = 1);
ReceiverCounters counters_now();

class CounterReports {
public:
    CounterReports(const ServiceSettings& settings, bool console);
    ~CounterReports();
    CounterReports(const CounterReports&) = delete;
    CounterReports& operator=(const CounterReports&) = delete;

    // Called by the loop after every batch and receive timeout.
    void tick();

private:
    void write_line();

    const ServiceSettings& settings_;
    bool console_;
    std::chrono::steady_clock::time_point next_publish_;
    std::chrono::steady_clock::time_point next_line_;
    ReceiverCounters published_{};
    bool published_once_ = false;
};
