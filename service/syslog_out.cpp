#include "service/syslog_out.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/process.h"
#include "platform/sockets.h"
#include "platform/tls.h"
#include "service/file_recorders.h"
#include "service/mib_in_use.h"
#include "service/syslog_message.h"

namespace {

constexpr int kTransportTcp = 1;
constexpr int kTransportTls = 2;
constexpr std::size_t kDatagramSize = 2048;
constexpr std::size_t kStreamMessageSize = 8192;
// A write over TCP or TLS gathers messages up to this many octets.
constexpr std::size_t kStreamBatch = 64 * 1024;
constexpr std::size_t kRingBytesPerFrame = 512;
constexpr std::size_t kLeastRingBytes = 64 * 1024;
constexpr std::size_t kMostRingBytes = 64 * 1024 * 1024;
constexpr std::int32_t kMostRoom = 1000000;
constexpr int kHandshakeSeconds = 20;
constexpr auto kFirstRetry = std::chrono::seconds(1);
constexpr auto kLastRetry = std::chrono::seconds(60);
constexpr auto kStopGrace = std::chrono::seconds(5);

const char kConnectFailed[] = "syslogサーバーに接続できませんでした: ";
const char kTlsFailed[] = "syslogサーバーとのTLS接続に失敗しました: ";
const char kCertificateRefused[] = "syslogサーバーの証明書を確認できませんでした: ";
const char kLost[] = "syslogサーバーへの送信待ちがあふれたため、トラップ %zu 件の通知を破棄しました。";
const char kLeftAtStop[] = "サービスの停止までにsyslogサーバーへ送れなかったため、トラップ %zu 件の通知を破棄しました。";

// Frames back to back in a ring of bytes, each after its size (4 octets);
// a size of kWrap, or fewer than 4 octets left before the end, sends the
// reader to the start. One writer and one reader; the owner locks around
// every call but read(), which only touches frames already written.
class FrameRing {
public:
    explicit FrameRing(std::size_t capacity) : bytes_(capacity) {}

    // Copies the frame in; false when it does not fit.
    bool write(const TrapFrame& frame, std::size_t queued)
    {
        const std::size_t size = kFrameHeaderSize + std::min<std::size_t>(frame.length, kFrameDataSize);
        const std::size_t need = 4 + size;
        if (queued == 0) head_ = tail_ = 0;
        std::size_t at;
        if (tail_ >= head_ && bytes_.size() - tail_ >= need) {
            at = tail_;
        } else if (tail_ >= head_ && head_ > need) {
            if (bytes_.size() - tail_ >= 4) put_size(tail_, kWrap);
            at = 0;
        } else if (tail_ < head_ && head_ - tail_ > need) {
            at = tail_;
        } else {
            return false;
        }
        put_size(at, static_cast<std::uint32_t>(size));
        std::memcpy(&bytes_[at + 4], &frame, size);
        tail_ = at + need;
        return true;
    }

    // The frame at `at` into `frame`; `at` moves to the next one.
    void read(std::size_t& at, TrapFrame& frame) const
    {
        if (bytes_.size() - at < 4 || size_at(at) == kWrap) at = 0;
        const std::uint32_t size = size_at(at);
        std::memcpy(&frame, &bytes_[at + 4], size);
        at += 4 + size;
    }

    std::size_t head() const { return head_; }
    void set_head(std::size_t at) { head_ = at; }

private:
    static constexpr std::uint32_t kWrap = 0xFFFFFFFF;

    void put_size(std::size_t at, std::uint32_t size) { std::memcpy(&bytes_[at], &size, 4); }
    std::uint32_t size_at(std::size_t at) const
    {
        std::uint32_t size;
        std::memcpy(&size, &bytes_[at], 4);
        return size;
    }

    std::vector<unsigned char> bytes_;
    std::size_t head_ = 0;  // the first queued frame
    std::size_t tail_ = 0;  // where the next one goes
};

// Where the messages go, as the settings say.
struct Collector {
    std::string host;
    std::uint16_t port;
    int transport;  // 0 UDP, 1 TCP, 2 TLS
    bool verify;
};

// The way to the collector: a UDP socket, or a TCP connection with TLS over it.
class CollectorLink {
public:
    explicit CollectorLink(const Collector& c) : collector_(c) {}

    bool is_open() const { return udp_.is_open() || tcp_.is_open(); }

    // False with `why` (the log line) when the collector cannot be reached.
    bool open(std::string& why)
    {
        Endpoint to;
        const std::string where = collector_.host + ":" + std::to_string(collector_.port);
        if (!resolve_host(collector_.host.c_str(), collector_.port, to)) {
            why = kConnectFailed + where;
            return false;
        }
        if (collector_.transport != kTransportTcp && collector_.transport != kTransportTls) {
            to_ = to;
            if (!udp_.open_bound(0)) why = kConnectFailed + where;
            return udp_.is_open();
        }
        if (!tcp_.connect_to(to)) {
            why = kConnectFailed + where;
            close();
            return false;
        }
        return collector_.transport != kTransportTls || start_tls(why);
    }

    void close()
    {
        tls_.reset();
        tcp_.close();
        udp_.close();
    }

    bool send_stream(const char* data, std::size_t size)
    {
        return tls_ ? tls_->send(data, size) : tcp_.send_all(data, size);
    }

    void send_datagrams(const OutgoingDatagram* datagrams, std::size_t count) { udp_.send_batch(to_, datagrams, count); }

    // True when the collector has closed the connection: a collector sends
    // nothing, so anything to read is the end (or a TLS session ticket).
    bool peer_gone()
    {
        if (!tcp_.is_open()) return false;
        const TcpSocket::Wait wait = tcp_.wait_readable(0);
        if (wait != TcpSocket::Wait::Readable) return wait == TcpSocket::Wait::Failed;
        char scratch[1024];
        if (tls_) {
            std::size_t got = 0;
            const TlsSession::Read read = tls_->receive(scratch, sizeof scratch, got, 1);
            return read == TlsSession::Read::Closed || read == TlsSession::Read::Failed;
        }
        return tcp_.receive(scratch, sizeof scratch) <= 0;
    }

private:
    bool start_tls(std::string& why)
    {
        tls_.reset(new TlsSession(tcp_));
        std::string detail;
        const TlsSession::Handshake done = tls_->handshake(collector_.host.c_str(), collector_.verify, kHandshakeSeconds, detail);
        if (done == TlsSession::Handshake::Done) return true;
        why = (done == TlsSession::Handshake::Untrusted ? kCertificateRefused : kTlsFailed) + detail;
        close();
        return false;
    }

    Collector collector_;
    UdpSocket udp_;
    Endpoint to_{};
    TcpSocket tcp_;
    std::unique_ptr<TlsSession> tls_;
};

class SyslogSender {
public:
    SyslogSender(const ServiceSettings& s, std::size_t room, std::shared_ptr<const MibNames> names)
        : log_(s.logfile), names_(std::move(names)), room_(room), ring_(std::clamp(room * kRingBytesPerFrame, kLeastRingBytes, kMostRingBytes)),
          link_(Collector{s.syslog_host, static_cast<std::uint16_t>(s.syslog_port), s.syslog_transport,
                          s.f_syslog_verify != 0}),
          stream_(s.syslog_transport == kTransportTcp || s.syslog_transport == kTransportTls),
          formatter_(s.syslog_facility, names_.get()), batch_(stream_ ? kStreamBatch + kStreamMessageSize + 16 : 0),
          datagrams_(stream_ ? 0 : kMostBatched * kDatagramSize)
    {
    }

    // The loop's side: copies the frame in, or counts it lost. Never waits
    // but for the lock, which the worker holds only to look at the queue.
    void queue(const TrapFrame& frame)
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (queued_ >= room_ || !ring_.write(frame, queued_)) {
                ++lost_;
                return;
            }
            ++queued_;
        }
        wake_.notify_one();
    }

    // Starts the worker, which holds `self` until it ends; false when the
    // system refuses the thread.
    static bool start(const std::shared_ptr<SyslogSender>& self, std::thread& worker)
    {
        try {
            worker = std::thread([self] { self->work(); });
            return true;
        } catch (const std::system_error&) {
            return false;
        }
    }

    // Asks the worker to send what is queued within the grace, and waits for
    // it that long; true when the worker has ended its work.
    bool finish()
    {
        std::unique_lock<std::mutex> guard(lock_);
        closing_ = true;
        deadline_ = std::chrono::steady_clock::now() + kStopGrace;
        wake_.notify_all();
        return ended_.wait_until(guard, deadline_, [this] { return done_; });
    }

private:
    void work()
    {
        lower_thread_priority();  // the receive loop first, when the processor is short
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            wake_.wait(guard, [this] { return queued_ > 0 || closing_; });
            if (queued_ == 0 || (closing_ && std::chrono::steady_clock::now() >= deadline_)) break;
            const std::size_t queued = queued_;
            guard.unlock();
            const bool connected = connect();
            const std::size_t sent = connected ? send_some(queued) : 0;
            guard.lock();
            if (sent > 0) {
                settle(sent);
            } else if (closing_ && !connected) {
                break;  // no waiting for the collector after the stop
            } else {
                wake_.wait_for(guard, retry_, [this] { return closing_; });
                retry_ = std::min<std::chrono::seconds>(retry_ * 2, kLastRetry);
            }
        }
        report_left();
        done_ = true;
        ended_.notify_all();
    }

    // A link ready to send on, opened or opened again; false after a failed
    // attempt, logged when it is the first since a message went out.
    bool connect()
    {
        if (link_.is_open() && !link_.peer_gone()) return true;
        link_.close();
        std::string why;
        if (link_.open(why)) {
            retry_ = kFirstRetry;
            return true;
        }
        if (!trouble_logged_) write_log_line(log_, why.c_str());
        trouble_logged_ = true;
        return false;
    }

    // Formats and sends queued frames, from the first, up to `queued` of
    // them; the number sent, 0 when the connection broke (then closed).
    std::size_t send_some(std::size_t queued)
    {
        std::size_t at = ring_.head();
        std::size_t taken = 0;
        if (!stream_) {
            OutgoingDatagram datagrams[kMostBatched];
            std::size_t count = 0;
            for (; taken < queued && taken < kMostBatched; ++taken) {
                ring_.read(at, frame_);
                char* slot = &datagrams_[count * kDatagramSize];
                const std::size_t size = formatter_.format(frame_, slot, kDatagramSize);
                if (size > 0) datagrams[count++] = OutgoingDatagram{slot, size};
            }
            link_.send_datagrams(datagrams, count);
        } else {
            std::size_t used = 0;
            for (; taken < queued && used < kStreamBatch; ++taken) {
                ring_.read(at, frame_);
                used += frame_message(&batch_[used]);
            }
            if (!link_.send_stream(batch_.data(), used)) {
                link_.close();
                return 0;
            }
        }
        next_head_ = at;
        return taken;
    }

    // "LEN SP MSG" at `out`; its size (0 for a frame that gives no message).
    std::size_t frame_message(char* out)
    {
        const std::size_t n = formatter_.format(frame_, message_, sizeof message_);
        if (n == 0) return 0;
        const int prefix = std::snprintf(out, 16, "%zu ", n);
        std::memcpy(out + prefix, message_, n);
        return static_cast<std::size_t>(prefix) + n;
    }

    // After `sent` frames went out (the lock held): they leave the queue;
    // once it is empty, the loss since the last such line is logged.
    void settle(std::size_t sent)
    {
        ring_.set_head(next_head_);
        queued_ -= sent;
        trouble_logged_ = false;
        if (queued_ > 0 || lost_ == 0) return;
        log_count(kLost, lost_);
        lost_ = 0;
    }

    void report_left()
    {
        if (lost_ > 0) log_count(kLost, lost_);
        if (queued_ > 0) log_count(kLeftAtStop, queued_);
        lost_ = queued_ = 0;
    }

    void log_count(const char* format, std::size_t count)
    {
        char line[256];
        std::snprintf(line, sizeof line, format, count);
        write_log_line(log_, line);
    }

    const FileSetting log_;
    const std::shared_ptr<const MibNames> names_;  // the formatter's, alive while the worker runs
    const std::size_t room_;
    std::mutex lock_;
    std::condition_variable wake_;   // the worker waits here for frames and the stop
    std::condition_variable ended_;  // finish() waits here for the worker
    FrameRing ring_;                 // what follows is the worker's own, but for the lock's fields
    std::size_t queued_ = 0;
    std::size_t lost_ = 0;
    bool closing_ = false;
    bool done_ = false;
    std::chrono::steady_clock::time_point deadline_;
    CollectorLink link_;
    const bool stream_;
    SyslogFormatter formatter_;
    std::vector<char> batch_;
    std::vector<char> datagrams_;
    TrapFrame frame_;
    char message_[kStreamMessageSize];
    std::size_t next_head_ = 0;
    std::chrono::seconds retry_ = kFirstRetry;
    bool trouble_logged_ = false;
};

// Made when the loop starts, released when it ends; only the loop's thread
// touches them.
std::shared_ptr<SyslogSender> g_sender;
std::thread g_worker;

} // namespace

void start_syslog_sender(const ServiceSettings& s)
{
    if (!is_on(s.f_syslog) || s.syslog_host[0] == '\0') return;
    const std::int32_t room = std::clamp<std::int32_t>(s.syslog_queue, 1, kMostRoom);
    try {
        g_sender = std::make_shared<SyslogSender>(s, static_cast<std::size_t>(room), mib_names_in_use());
    } catch (const std::bad_alloc&) {
        return;
    }
    if (!SyslogSender::start(g_sender, g_worker)) g_sender.reset();
}

void queue_syslog_notification(const TrapFrame& frame)
{
    if (g_sender) g_sender->queue(frame);
}

void finish_syslog_sender()
{
    if (!g_sender) return;
    const bool ended = g_sender->finish();
    g_sender.reset();  // the worker, should it still run, holds its own
    // A worker that has ended its work is waited for while it lets go of its
    // connection, so that nothing of it runs on while the process ends; one
    // still held by its collector is left behind.
    if (ended) g_worker.join();
    else g_worker.detach();
}
