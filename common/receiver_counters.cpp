#include "common/receiver_counters.h"

#include <cstdio>

#include "platform/settings_store.h"

namespace {

const char kCountersKey[] = "Counters";
constexpr int kCount = 7;
const char* const kNames[kCount] = {"received",   "recorded",         "dropped",     "duplicates",
                                    "mails_sent", "mails_summarised", "mails_failed"};

void as_array(const ReceiverCounters& c, std::int32_t (&out)[kCount])
{
    const std::uint32_t values[kCount] = {c.received,   c.recorded,         c.dropped,     c.duplicates,
                                          c.mails_sent, c.mails_summarised, c.mails_failed};
    for (int i = 0; i < kCount; ++i) out[i] = static_cast<std::int32_t>(values[i]);
}

} // namespace

void counters_text(const ReceiverCounters& c, char* out, std::size_t size)
{
    std::snprintf(out, size,
                  "受信 %u, 記録 %u, ルールで破棄 %u, 重複で通知せず %u, メール送信 %u, 要約へ %u, メール失敗 %u",
                  c.received, c.recorded, c.dropped, c.duplicates, c.mails_sent, c.mails_summarised, c.mails_failed);
}

void publish_counters(const ReceiverCounters& counters)
{
    std::int32_t values[kCount];
    as_array(counters, values);
    write_runtime_dwords(kCountersKey, kNames, values, kCount);
}

bool read_published_counters(ReceiverCounters& out)
{
    std::uint32_t v[kCount];
    bool any = false;
    for (int i = 0; i < kCount; ++i) {
        const std::int32_t value = read_dword_setting_in(kCountersKey, kNames[i], -1);
        any = any || value != -1;
        v[i] = value == -1 ? 0 : static_cast<std::uint32_t>(value);
    }
    out = ReceiverCounters{v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
    return any;
}
