#include "service/counters.h"

#include <cstdio>
#include <cstring>

#include "platform/event_log.h"
#include "service/file_recorders.h"

namespace {

constexpr auto kPublishEvery = std::chrono::seconds(5);
const char kCountersLine[] = "受信の集計: ";

std::atomic<std::uint32_t> g_counters[static_cast<int>(Counter::Count)];

bool same(const ReceiverCounters& a, const ReceiverCounters& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

} // namespace

void count(Counter counter, std::uint32_t n)
{
    g_counters[static_cast<int>(counter)].fetch_add(n, std::memory_order_relaxed);
}

ReceiverCounters counters_now()
{
    std::uint32_t v[static_cast<int>(Counter::Count)];
    for (int i = 0; i < static_cast<int>(Counter::Count); ++i) v[i] = g_counters[i].load(std::memory_order_relaxed);
    return ReceiverCounters{v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
}

CounterReports::CounterReports(const ServiceSettings& settings, bool console)
    : settings_(settings), console_(console)
{
    for (auto& c : g_counters) c.store(0, std::memory_order_relaxed);
    const auto now = std::chrono::steady_clock::now();
    next_publish_ = now;
    next_line_ = now + std::chrono::seconds(settings.counter_seconds);
}

CounterReports::~CounterReports()
{
    publish_counters(counters_now());
    if (settings_.counter_seconds > 0) write_line();
}

void CounterReports::tick()
{
    const auto now = std::chrono::steady_clock::now();
    if (now >= next_publish_) {
        next_publish_ = now + kPublishEvery;
        const ReceiverCounters current = counters_now();
        if (!published_once_ || !same(current, published_)) publish_counters(current);
        published_ = current;
        published_once_ = true;
    }
    if (settings_.counter_seconds > 0 && now >= next_line_) {
        next_line_ = now + std::chrono::seconds(settings_.counter_seconds);
        write_line();
    }
}

void CounterReports::write_line()
{
    char line[512];
    const std::size_t n = std::snprintf(line, sizeof line, "%s", kCountersLine);
    counters_text(counters_now(), line + n, sizeof line - n);
    if (console_) {
        std::printf("%s\n", line);
    } else {
        report_service_text(line);  // the service's own log: the event log, or the journal
    }
    write_log_line(settings_.logfile, line);
}
