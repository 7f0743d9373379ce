#include "service/receive_loop.h"

#include <algorithm>
#include <cstdlib>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/settings.h"
#include "common/trap_report.h"
#include "platform/random.h"
#include "platform/sockets.h"
#include "service/alert_policy.h"
#include "service/counters.h"
#include "service/file_recorders.h"
#include "service/mib_in_use.h"
#include "service/notifications.h"
#include "service/reception.h"

const char kBanner[] =
    "ORVEL SNMP Trap Receiver    Version 1.04\n"
    "SNMPv1 トラップ受信サービス (Windows / Linux)";

namespace {

const char kManagerHost[] = "localhost";
// How long the loop waits for a datagram before it looks at the stop flag.
constexpr int kStopCheckMilliseconds = 500;
// The most datagrams taken from the socket at once.
constexpr std::size_t kBatchSize = kMostBatched;
// Asked of the system for the trap socket, so that a burst waits there while
// a batch is handled instead of being dropped.
constexpr std::size_t kReceiveBufferBytes = 4 * 1024 * 1024;
// Standard output's buffer: a batch's dumps and reports reach it in one write.
constexpr std::size_t kConsoleBufferSize = 256 * 1024;
// The least bound on how many datagrams were queued before a stop request.
constexpr std::size_t kLeastQueueBound = 256;

std::atomic<bool> g_stop_requested{false};

// The secret the wake-up datagram carries after the marker byte: made once
// per process from the system's random source, never shown or stored, so no
// other process (and no host) can make a datagram the loop takes as its own.
struct StopToken {
    std::uint8_t bytes[16];
    bool made;
};
constexpr std::size_t kWakeUpSize = 1 + sizeof StopToken::bytes;

const StopToken& stop_token()
{
    static const StopToken token = [] {
        StopToken t{};
        t.made = random_bytes(t.bytes, sizeof t.bytes);
        return t;
    }();
    return token;
}

// This process's own wake-up datagram: after a stop request, from a loopback
// address, the marker and the token, nothing more. Any other datagram, a
// bare 0x7F among them, is handled like every other.
bool is_own_wake_up(const std::uint8_t* data, const DatagramSlot& slot)
{
    const StopToken& token = stop_token();
    return g_stop_requested.load() && token.made && !slot.truncated && slot.got == kWakeUpSize &&
           data[0] == kStopMarker && is_loopback(slot.sender) &&
           std::memcmp(data + 1, token.bytes, sizeof token.bytes) == 0;
}

// A stop request ends the loop at its wake-up datagram, after the traps that
// came before it. Should the wake-up datagram be lost (a flood filled the
// socket), the loop ends once the socket has stayed empty for a receive
// timeout, or, when the flood never lets it empty, once it has received as
// many datagrams after the request as the socket can hold: by then every
// datagram queued before the request has been handled, however slowly.
class PendingStop {
public:
    explicit PendingStop(std::size_t most_queued)
        : limit_(std::max(kLeastQueueBound, most_queued))
    {
    }

    // Called once before every datagram is handled, and with `socket_empty`
    // after a receive timed out.
    bool due(bool socket_empty)
    {
        if (!g_stop_requested.load()) return false;
        return socket_empty || ++handled_ > limit_;
    }

private:
    std::size_t limit_;
    std::size_t handled_ = 0;
};

// One manager that forwarded frames go to: its host and port, and its
// address once looked up. A name that did not resolve is looked up again
// before a send, at most once per `retry_seconds` (0: before every send).
class ManagerAddress {
public:
    ManagerAddress() = default;
    ManagerAddress(const char* host, std::uint16_t port, std::time_t retry_seconds)
        : host_(host), port_(port), retry_seconds_(retry_seconds)
    {
        look_up(std::time(nullptr));
    }

    bool get(Endpoint& out)
    {
        const std::time_t now = std::time(nullptr);
        if (!known_ && (now - tried_ >= retry_seconds_ || now < tried_)) look_up(now);
        out = endpoint_;
        return known_;
    }

private:
    void look_up(std::time_t now)
    {
        tried_ = now;
        known_ = port_ != 0 && resolve_host(host_, port_, endpoint_);
    }

    const char* host_ = "";
    std::uint16_t port_ = 0;
    std::time_t retry_seconds_ = 0;
    std::time_t tried_ = 0;
    bool known_ = false;
    Endpoint endpoint_{};
};

// "host", "host:port" or "[address]:port"; a port that is not 1..65535 gives
// port 0, which never resolves. Cuts `entry` in place; returns the host.
const char* split_host_port(char* entry, std::uint16_t& port)
{
    port = kManagerPort;
    char* host = entry;
    char* colon = std::strrchr(entry, ':');
    if (entry[0] == '[') {
        char* close = std::strchr(entry, ']');
        if (close == nullptr || (close[1] != '\0' && close[1] != ':')) return port = 0, entry;
        *close = '\0';
        host = entry + 1;
        colon = close[1] == ':' ? close + 1 : nullptr;
    } else if (colon != nullptr && std::strchr(entry, ':') != colon) {
        colon = nullptr;  // an IPv6 literal without brackets: no port
    }
    if (colon == nullptr) return host;
    *colon = '\0';
    char* end = nullptr;
    const unsigned long number = std::strtoul(colon + 1, &end, 10);
    port = colon[1] >= '0' && colon[1] <= '9' && *end == '\0' && number >= 1 && number <= 65535
               ? static_cast<std::uint16_t>(number) : 0;
    return host;
}

// This host's manager ("localhost", looked up again before every send while
// it has not resolved), then the managers of "forward_hosts" (at most 16,
// looked up again at most once a minute, so that a name server that does
// not answer cannot hold up every batch).
class Managers {
public:
    static constexpr std::size_t kMost = 1 + kMaxPopupHosts;
    static constexpr std::time_t kRetrySeconds = 60;

    Managers(const Managers&) = delete;
    Managers& operator=(const Managers&) = delete;
    explicit Managers(const char* forward_hosts)
    {
        addresses_[count_++] = ManagerAddress(kManagerHost, kManagerPort, 0);
        std::snprintf(hosts_, sizeof hosts_, "%s", forward_hosts);
        const char* entries[kMaxPopupHosts];
        const int n = split_host_list(hosts_, entries);
        for (int i = 0; i < n; ++i) {
            std::uint16_t port = 0;
            const char* host = split_host_port(const_cast<char*>(entries[i]), port);
            addresses_[count_++] = ManagerAddress(host, port, kRetrySeconds);
        }
    }

    std::size_t count() const { return count_; }
    ManagerAddress& operator[](std::size_t i) { return addresses_[i]; }

private:
    char hosts_[kHostListSize];
    ManagerAddress addresses_[kMost];
    std::size_t count_ = 0;
};

// The forwards of a batch: each a copy of its frame with the two words in
// network order, all sent together to every manager when the batch is delivered.
class ForwardBatch {
public:
    void add(const TrapFrame& frame, UdpSocket& sender, Managers& managers)
    {
        if (count_ == kBatchSize) send(sender, managers);
        TrapFrame& copy = copies_[count_];
        const std::size_t size = kFrameHeaderSize + std::min<std::size_t>(frame.length, kFrameDataSize);
        std::memcpy(&copy, &frame, size);
        frame_to_network_order(copy);
        datagrams_[count_++] = OutgoingDatagram{&copy, size};
    }

    // This host's manager first; "localhost" not resolving sets the
    // sockets layer's last error to "invalid argument".
    void send(UdpSocket& sender, Managers& managers)
    {
        if (count_ == 0) return;
        for (std::size_t i = 0; i < managers.count(); ++i) {
            Endpoint to;
            if (managers[i].get(to)) {
                sender.send_batch(to, datagrams_, count_);
            } else if (i == 0) {
                set_socket_error_invalid_argument();
            }
        }
        count_ = 0;
    }

private:
    TrapFrame copies_[kBatchSize];
    OutgoingDatagram datagrams_[kBatchSize];
    std::size_t count_ = 0;
};

// The datagrams of one receive, each received straight into a frame's data.
class ReceivedBatch {
public:
    ReceivedBatch()
    {
        for (std::size_t i = 0; i < kBatchSize; ++i) slots_[i] = DatagramSlot{frames_[i].data, kFrameDataSize, 0, false, {}};
    }

    UdpSocket::Receive receive(UdpSocket& socket) { return socket.receive_batch(slots_, kBatchSize, count_); }
    std::size_t count() const { return count_; }
    TrapFrame& frame(std::size_t i) { return frames_[i]; }
    const DatagramSlot& slot(std::size_t i) const { return slots_[i]; }

private:
    TrapFrame frames_[kBatchSize];
    DatagramSlot slots_[kBatchSize];
    std::size_t count_ = 0;
};

void stamp(TrapFrame& frame, std::size_t length)
{
    frame.time = static_cast<std::uint32_t>(std::time(nullptr));
    frame.length = static_cast<std::uint32_t>(length);
}

// What the loop works with while it handles a batch.
struct Loop {
    const ServiceSettings& settings;
    UdpSocket& receiver;
    UdpSocket& forwarder;
    Managers& managers;
    ForwardBatch& forwards;
    Reception& reception;
    TrapFrame& translated;
    TrapRecord& record;
    AlertPolicy& policy;
    const MibNames* names;  // null: numbers only
    bool console;  // each datagram's dump and each trap's report go to standard output
};

// What a batch left in memory goes out before the loop waits again, and
// before a trap holds it up: standard output, the files, then the forwards,
// so that a trap's forward comes when all of it is written.
void deliver(Loop& loop)
{
    std::fflush(stdout);
    write_held_file_entries();
    loop.forwards.send(loop.forwarder, loop.managers);
}

// One datagram: own wake-up datagram, dump, stamp, decode, inform answer,
// forward, report, notifications. False at the wake-up datagram.
bool handle_datagram(Loop& loop, TrapFrame& frame, const DatagramSlot& slot)
{
    const ServiceSettings& settings = loop.settings;
    if (is_own_wake_up(frame.data, slot)) return false;
    if (loop.console) write_hex_dump(frame.data, slot.got, stdout);
    stamp(frame, slot.got);
    // Only an inform that is decoded, so recorded and notified, is
    // acknowledged: one left unanswered is sent again by its agent.
    TrapFrame* trap = nullptr;
    const Reception::Outcome outcome =
        slot.truncated ? Reception::Outcome::NotATrap
                       : loop.reception.take(frame, slot.sender, loop.receiver, loop.translated, loop.record, trap);
    if (outcome == Reception::Outcome::Dropped) return true;
    if (outcome == Reception::Outcome::NotATrap) {
        if (is_on(settings.logfile.enabled)) write_error_log(settings.logfile, frame);
        return true;
    }
    const std::uint32_t actions = loop.policy.decide(loop.record, slot.sender);
    if (actions == kDrop) return true;
    count(Counter::Recorded);
    loop.forwards.add(*trap, loop.forwarder, loop.managers);
    // One report for the console and the log file.
    const bool console_or_log = loop.console || is_on(settings.logfile.enabled);
    const char* report = console_or_log ? log_report_text(loop.record, loop.names) : nullptr;
    if (loop.console) std::fputs(report, stdout);
    if (holds_up_caller(settings, actions)) deliver(loop);  // no earlier trap waits for a beep or a program
    char sender[kAddressTextSize];
    endpoint_text(slot.sender, sender, sizeof sender);
    run_notifications(settings, loop.record, *trap, sender, report, actions);
    return true;
}

// The datagrams of a batch in arrival order; false when the loop is to end
// (the stop marker, or a stop request that has waited long enough), the
// datagrams after that point left unhandled.
bool handle_batch(Loop& loop, ReceivedBatch& batch, PendingStop& stop)
{
    for (std::size_t i = 0; i < batch.count(); ++i) {
        if (stop.due(false) || !handle_datagram(loop, batch.frame(i), batch.slot(i))) return false;
        count(Counter::Received);
    }
    return true;
}

} // namespace

int run_receive_loop(TrapOutput output)
{
    static ServiceSettings settings;
    static ReceivedBatch batch;
    static ForwardBatch forwards;
    static TrapFrame translated;
    static thread_local TrapRecord record;
    static char console_buffer[kConsoleBufferSize];
    load_service_settings(settings);
    stop_token();  // made before any stop request can ask for it
    const bool console = output == TrapOutput::Console;
    CounterReports counters(settings, console);  // its last line counts the mails settled at the stop
    const MailWorkersAtStop finish_mail;  // on every way out of the loop
    const std::vector<MibProblem> mib_problems = load_mib_names_in_use(settings);
    const SyslogSenderAtStop syslog_sender(settings);  // holds the names it formats with

    UdpSocket receiver;
    if (!receiver.open_bound(kTrapPort)) {
        std::printf("SOCKET Initialize error\n");
        return 1;
    }
    UdpSocket forwarder;  // declared second, so closed first
    if (!forwarder.open_bound(0)) {
        std::printf("SEND SOCKET Initialize error\n");
        return 1;
    }
    receiver.set_receive_timeout(kStopCheckMilliseconds);
    receiver.set_receive_buffer(kReceiveBufferBytes);
    std::setvbuf(stdout, console_buffer, _IOFBF, sizeof console_buffer);
    if (console) std::printf("%s\n\n", kBanner);
    report_mib_problems(settings, mib_problems, console);
    std::fflush(stdout);

    Managers managers(settings.forward_hosts);
    PendingStop stop(receiver.most_queued_datagrams());
    FileBatch files;
    Reception reception(settings);
    AlertPolicy policy(settings, mib_names_in_use().get(), console);  // its last mails go before the workers finish
    policy.report_rule_problems();
    std::fflush(stdout);
    Loop loop{settings,  receiver,   forwarder, managers, forwards,
              reception, translated, record,    policy,   mib_names_in_use().get(), console};
    for (;;) {
        retry_alert_workers();
        policy.tick();
        counters.tick();
        const UdpSocket::Receive result = batch.receive(receiver);
        if (result == UdpSocket::Receive::Failed) {
            std::printf("RecvFrom error\n");
            std::fflush(stdout);
            return 0;
        }
        if (result == UdpSocket::Receive::TimedOut && stop.due(true)) return 0;
        if (result != UdpSocket::Receive::Datagram) continue;
        const bool go_on = handle_batch(loop, batch, stop);
        deliver(loop);
        if (!go_on) return 0;
    }
}

void note_stop_request() { g_stop_requested.store(true); }

// The loop listens on every local address, so the loopback address reaches
// it, and the datagram comes from a loopback address as the loop expects.
void request_stop()
{
    note_stop_request();
    UdpSocket socket;
    Endpoint to;
    if (!socket.open_bound(0) || !resolve_host("127.0.0.1", kTrapPort, to)) return;
    const StopToken& token = stop_token();
    if (!token.made) return;  // the flag alone ends the loop
    std::uint8_t wake_up[kWakeUpSize] = {kStopMarker};
    std::memcpy(wake_up + 1, token.bytes, sizeof token.bytes);
    socket.send_to(to, wake_up, sizeof wake_up);
}
