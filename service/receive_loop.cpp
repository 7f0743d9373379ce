#include "service/receive_loop.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>

#include "common/settings.h"
#include "common/trap_report.h"
#include "common/v2c_notification.h"
#include "platform/sockets.h"
#include "service/file_recorders.h"
#include "service/notifications.h"

const char kBanner[] =
    "ORVEL SNMP Trap Receiver    Version 1.04\n"
    "SNMPv1 トラップ受信サービス (Windows / Linux)";

namespace {

const char kManagerHost[] = "localhost";
// How long the loop waits for a datagram before it looks at the stop flag.
constexpr int kStopCheckMilliseconds = 500;
// The least bound on how many datagrams were queued before a stop request.
constexpr std::size_t kLeastQueueBound = 256;

std::atomic<bool> g_stop_requested{false};

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

    // Called once before every receive, and with `socket_empty` after a receive timed out.
    bool due(bool socket_empty)
    {
        if (!g_stop_requested.load()) return false;
        return socket_empty || ++receives_ > limit_;
    }

private:
    std::size_t limit_;
    std::size_t receives_ = 0;
};

// Where forwarded frames go. Looked up when the loop starts, and again for a
// trap while the first look-up has not succeeded.
class ManagerAddress {
public:
    ManagerAddress() { known_ = resolve_ipv4(kManagerHost, kManagerPort, endpoint_); }

    bool get(Ipv4Endpoint& out)
    {
        if (!known_) known_ = resolve_ipv4(kManagerHost, kManagerPort, endpoint_);
        out = endpoint_;
        return known_;
    }

private:
    bool known_ = false;
    Ipv4Endpoint endpoint_{};
};

// Sends the frame with its two words in network order, then restores them.
void forward_to_manager(UdpSocket& sender, ManagerAddress& manager, TrapFrame& frame)
{
    Ipv4Endpoint to;
    if (!manager.get(to)) {
        set_socket_error_invalid_argument();
        return;
    }
    const std::size_t size = kFrameHeaderSize + frame.length;
    frame_to_network_order(frame);
    sender.send_to(to, &frame, size);
    frame_from_network_order(frame);
}

void stamp(TrapFrame& frame, std::size_t length)
{
    frame.time = static_cast<std::uint32_t>(std::time(nullptr));
    frame.length = static_cast<std::uint32_t>(length);
}

// Acknowledges the datagram from the trap port, to where it came from, when it
// is an InformRequest.
void answer_inform(UdpSocket& receiver, const Ipv4Endpoint& sender, const TrapFrame& inform)
{
    static std::uint8_t response[kFrameDataSize + 64];
    const std::size_t size = build_inform_response(inform, response, sizeof response);
    if (size > 0) receiver.send_to(sender, response, size);
}

// The SNMPv1 trap a datagram holds: the datagram itself, or with "f_v2c" on
// the Trap-PDU a v2c notification translates to, in `translated`. Decodes it
// into `record`; null when the datagram is no trap.
TrapFrame* decode_datagram(const ServiceSettings& settings, TrapFrame& frame, const Ipv4Endpoint& sender,
                           TrapFrame& translated, TrapRecord& record)
{
    const bool v2c = is_on(settings.f_v2c) &&
                     translate_v2c_notification(frame, sender.address, translated) != V2cNotification::None;
    TrapFrame* trap = v2c ? &translated : &frame;
    return decode_trap(record, *trap) == 0 ? trap : nullptr;
}

} // namespace

int run_receive_loop()
{
    static ServiceSettings settings;
    static TrapFrame frame;
    static TrapFrame translated;
    static thread_local TrapRecord record;
    load_service_settings(settings);

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
    std::printf("%s\n\n", kBanner);
    std::fflush(stdout);

    ManagerAddress manager;
    PendingStop stop(receiver.most_queued_datagrams());
    for (;;) {
        if (stop.due(false)) return 0;
        retry_alert_workers();
        std::size_t got = 0;
        Ipv4Endpoint sender{};
        const UdpSocket::Receive result = receiver.receive(frame.data, sizeof frame.data, got, &sender);
        if (result == UdpSocket::Receive::Failed) {
            std::printf("RecvFrom error\n");
            return 0;
        }
        if (result == UdpSocket::Receive::TimedOut && stop.due(true)) return 0;
        if (result != UdpSocket::Receive::Datagram && result != UdpSocket::Receive::Truncated) continue;

        write_hex_dump(frame.data, got, stdout);
        const bool whole = result == UdpSocket::Receive::Datagram;
        if (whole && got > 0 && frame.data[0] == kStopMarker) return 0;
        stamp(frame, got);
        TrapFrame* trap = whole ? decode_datagram(settings, frame, sender, translated, record) : nullptr;
        // Any well-formed inform is acknowledged, even one whose trap cannot be
        // shown: unanswered, the agent would only send it again.
        if (whole && is_on(settings.f_v2c)) answer_inform(receiver, sender, frame);
        if (trap == nullptr) {
            if (is_on(settings.logfile.enabled)) write_error_log(settings.logfile, frame);
            continue;
        }
        forward_to_manager(forwarder, manager, *trap);
        write_trap_report(record, stdout);
        run_notifications(settings, record, *trap);
    }
}

// The loop listens on every local address, so the loopback address reaches it
// where "localhost" is missing from the host table.
void note_stop_request() { g_stop_requested.store(true); }

void request_stop()
{
    note_stop_request();
    UdpSocket socket;
    Ipv4Endpoint to;
    if (!socket.open_bound(0)) return;
    if (!resolve_ipv4("localhost", kTrapPort, to) && !resolve_ipv4("127.0.0.1", kTrapPort, to)) return;
    const std::uint8_t wake_up[2] = {kStopMarker, 0x00};
    socket.send_to(to, wake_up, sizeof wake_up);
}
