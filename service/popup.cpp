// Messenger popups: for every trap that passes the trap level while "f_popup"
// is 1, a worker sends "<agent> からの SNMPトラップ を受信しました" to the own
// host (when "f_popup_mysend" is 1) and then to each listed host, in order.
// At most 8 workers run at once; up to 1000 further traps wait, and beyond
// that a trap's popups are dropped with a line in the log file.
#include <cstdio>
#include <cstring>

#include "platform/messenger.h"
#include "platform/sockets.h"
#include "service/file_recorders.h"
#include "service/notifications.h"
#include "service/worker_pool.h"

namespace {

constexpr int kMaxPopupWorkers = 8;
constexpr std::size_t kMaxQueuedPopups = 1000;
constexpr std::size_t kHostSize = 100;
constexpr std::size_t kMessageSize = 100;
const char kPopupDropped[] = "ポップアップ通知の待ちが1000件を超えたため、トラップ 1 件のポップアップを破棄しました。";

struct PopupJob {
    const ServiceSettings* settings;
    char agent_addr[sizeof(TrapRecord::agent_addr)];
};

void send_popup(Messenger& messenger, const char* host, const char* agent_addr)
{
    char message[kMessageSize];
    std::snprintf(message, sizeof message, "%s からの SNMPトラップ を受信しました", agent_addr);
    messenger.send(host, message);
}

void popup_worker(const ServiceSettings& s, const char* agent_addr)
{
    Messenger messenger;
    if (!messenger.available()) return;
    char host[kHostSize];
    if (is_on(s.f_popup_mysend) && local_host_name(host, sizeof host)) send_popup(messenger, host, agent_addr);
    for (const char* name : s.popup_hosts) {
        if (name == nullptr) break;
        if (std::strlen(name) >= kHostSize) continue;  // does not fit the name buffer
        std::strcpy(host, name);
        send_popup(messenger, host, agent_addr);
    }
}

// Made at the first popup and never destroyed: workers may still run when
// the program ends. Only the receive loop's thread touches the pointer.
WorkerPool<PopupJob>* g_popup_pool = nullptr;

WorkerPool<PopupJob>& popup_pool()
{
    if (g_popup_pool == nullptr)
        g_popup_pool = new WorkerPool<PopupJob>(
            [](PopupJob& job) { popup_worker(*job.settings, job.agent_addr); }, kMaxPopupWorkers, kMaxQueuedPopups);
    return *g_popup_pool;
}

} // namespace

void retry_popup_workers()
{
    if (g_popup_pool != nullptr) g_popup_pool->retry();
}

int send_trap_popup(const ServiceSettings& s, const TrapRecord& trap)
{
    if (!is_on(s.f_popup)) return 0;
    PopupJob job{&s, {}};
    std::memcpy(job.agent_addr, trap.agent_addr, sizeof job.agent_addr);
    if (popup_pool().submit(job)) return 0;
    write_log_line(s.logfile, kPopupDropped);
    return -1;
}
