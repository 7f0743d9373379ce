#include "service/mail/mail_notification.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "common/trap_report.h"
#include "service/file_recorders.h"
#include "service/counters.h"
#include "service/mib_in_use.h"
#include "service/mail/send_mail.h"
#include "service/notifications.h"
#include "service/worker_pool.h"

namespace {

constexpr int kMaxMailWorkers = 8;
constexpr std::size_t kMaxQueuedMails = 1000;
constexpr std::size_t kPop3BufferSize = 1024;
constexpr int kPop3WaitSeconds = 60;
constexpr int kPop3Port = 110;
constexpr int kPop3sPort = 995;
// At a stop: how long the mails under way and queued may take, then how long
// the dialogues still under way get to break off.
constexpr auto kStopGrace = std::chrono::seconds(8);
constexpr auto kBreakOff = std::chrono::seconds(2);
const char kPop3Failed[] = "POP3認証に失敗しました。";
const char kPop3StlsRefused[] = "POP3サーバーがSTLSを拒否したため、POP3認証を行いませんでした。";
const char kPop3TlsFailed[] = "POP3サーバーとのTLS接続に失敗しました: ";
const char kPop3CertificateRefused[] = "POP3サーバーの証明書を確認できませんでした: ";
const char kMailDropped[] = "メール通知の待ちが1000件を超えたため、トラップ 1 件のメールを破棄しました。";
const char kMailDroppedAtStop[] = "サービスの停止までに送れなかったため、トラップ 1 件のメールを破棄しました。";
const char kMailOutOfMemory[] = "メモリが足りないため、トラップ 1 件のメールを破棄しました。";

// A trap's mail (its report, after how many repeats it stands for when
// `repeats` > 0), or a mail of its own text when `body` is not empty.
struct MailJob {
    const ServiceSettings* settings;
    TrapRecord trap;
    std::shared_ptr<const MibNames> names;  // kept alive while the job waits and runs
    std::uint32_t repeats;
    std::string subject;
    std::string body;
};

// The workers and what they share, from the first mail to the stop. Every
// mail handed to them is settled once: delivered, or one log line saying why
// not, written by its worker or, for the mails the stop cuts off, by finish().
class MailWorkers {
public:
    bool submit(const ServiceSettings& s, const TrapRecord& trap, std::uint32_t repeats)
    {
        return submit(MailJob{&s, trap, mib_names_in_use(), repeats, {}, {}});
    }

    bool submit(MailJob&& job)
    {
        const ServiceSettings& s = *job.settings;
        {
            std::lock_guard<std::mutex> guard(outcome_lock_);
            settings_ = &s;
            ++unsettled_;
        }
        if (pool_.submit(std::move(job))) return true;
        std::lock_guard<std::mutex> guard(outcome_lock_);
        --unsettled_;
        return false;
    }

    void retry() { pool_.retry(); }
    bool idle() const { return pool_.workers() == 0; }

    // The grace of a stop, then the line of every mail still unsettled.
    void finish()
    {
        const auto stop = std::chrono::steady_clock::now();
        pool_.finish(stop + kStopGrace);
        cut_off_ = true;
        {
            std::lock_guard<std::mutex> guard(outcome_lock_);
            stopped_ = true;
            for (; unsettled_ > 0; --unsettled_) {
                write_log_line(settings_->logfile, kMailDroppedAtStop);
                count(Counter::MailsFailed);
            }
        }
        pool_.finish(stop + kStopGrace + kBreakOff);
    }

private:
    void run(MailJob& job)
    {
        std::string failure;
        const char* why = kMailOutOfMemory;
        try {
            failure = job.body.empty()
                          ? mail_worker(*job.settings, job.trap, &cut_off_, job.names.get(), job.repeats)
                          : send_mail_text(*job.settings, job.subject.c_str(), job.body.c_str(), &cut_off_);
            why = failure.empty() ? nullptr : failure.c_str();
        } catch (const std::bad_alloc&) {
        }
        settle(*job.settings, why);
    }

    // `why` null: delivered. Nothing once the stop has written the line.
    void settle(const ServiceSettings& s, const char* why)
    {
        std::lock_guard<std::mutex> guard(outcome_lock_);
        if (stopped_) return;
        --unsettled_;
        count(why == nullptr ? Counter::MailsSent : Counter::MailsFailed);
        if (why != nullptr) write_log_line(s.logfile, why);
    }

    std::atomic<bool> cut_off_{false};  // the grace is over: dialogues give up at their next wait
    std::mutex outcome_lock_;
    std::size_t unsettled_ = 0;  // handed to the pool, neither delivered nor logged
    bool stopped_ = false;       // the stop has logged every unsettled mail
    const ServiceSettings* settings_ = nullptr;
    WorkerPool<MailJob> pool_{[this](MailJob& job) { run(job); }, kMaxMailWorkers, kMaxQueuedMails};
};

// Made at the first mail; at a stop, finished, then destroyed when its
// workers have ended, else left to them. Only the receive loop's thread
// touches the pointer.
MailWorkers* g_mail_workers = nullptr;

bool send_pop3_command(MailConnection& link, const char* name, const char* value)
{
    char line[kPop3BufferSize];
    if (value != nullptr) {
        std::snprintf(line, sizeof line, "%s %s\r\n", name, value);
    } else {
        std::snprintf(line, sizeof line, "%s\r\n", name);
    }
    return link.send_all(line, std::strlen(line));
}

// An unknown "smtp_security" asks for TLS from the first byte rather than
// fall back to a dialogue in clear.
int security_mode(const ServiceSettings& s) { return s.smtp_security == 0 || s.smtp_security == 1 ? s.smtp_security : 2; }

// POP3 over TLS from the first byte does not run on the port of POP3 in clear.
std::uint16_t pop3_port(const ServiceSettings& s)
{
    const bool tls_port = security_mode(s) == 2 && s.pop_port == kPop3Port;
    return static_cast<std::uint16_t>(tls_port ? kPop3sPort : s.pop_port);
}

bool pop3_start_tls(MailConnection& link, const ServiceSettings& s, std::string& why)
{
    std::string detail;
    const TlsSession::Handshake done = link.start_tls(s.pop_server, is_on(s.f_smtp_verify), kPop3WaitSeconds, detail);
    if (done == TlsSession::Handshake::Done) return true;
    why = (done == TlsSession::Handshake::Untrusted ? kPop3CertificateRefused : kPop3TlsFailed) + detail;
    return false;
}

// The exchange itself, through TLS as "smtp_security" asks; false at the
// first refusal, `why` then holding the log line when it is not kPop3Failed.
bool pop3_login(MailConnection& link, const ServiceSettings& s, std::string& why)
{
    const int security = security_mode(s);
    if (security == 2 && !pop3_start_tls(link, s, why)) return false;
    if (!pop3_read_reply(link)) return false;  // greeting: no QUIT after a refused one
    if (security == 1) {
        send_pop3_command(link, "STLS", nullptr);
        if (!pop3_read_reply(link)) {
            why = kPop3StlsRefused;
            send_pop3_command(link, "QUIT", nullptr);
            return false;
        }
        if (!pop3_start_tls(link, s, why)) return false;
    }
    send_pop3_command(link, "USER", s.pop_user);
    if (!pop3_read_reply(link)) {
        send_pop3_command(link, "QUIT", nullptr);
        return false;
    }
    send_pop3_command(link, "PASS", s.pop_pass);
    if (!pop3_read_reply(link)) {
        send_pop3_command(link, "QUIT", nullptr);
        return false;
    }
    send_pop3_command(link, "QUIT", nullptr);
    if (pop3_read_reply(link)) {
        link.socket().shutdown_both();
    } else {
        send_pop3_command(link, "QUIT", nullptr);
    }
    return true;
}

SendMail::Security mail_security(const ServiceSettings& s)
{
    SendMail::Security security;
    security.mode = security_mode(s);
    security.verify = s.f_smtp_verify != 0;
    security.auth = is_on(s.f_smtp_auth);
    security.user = s.smtp_user;
    security.password = s.smtp_pass;
    return security;
}

} // namespace

bool pop3_read_reply(MailConnection& link)
{
    char reply[kPop3BufferSize + 1];
    std::size_t n = 0;
    if (link.receive(reply, kPop3BufferSize, n, kPop3WaitSeconds) != MailConnection::Read::Data) return false;
    reply[n] = '\0';
    // "+OK" as a whole word: servers answer a bare "+OK" CR LF to USER.
    return std::strncmp(reply, "+OK", 3) == 0 && (reply[3] == ' ' || reply[3] == '\r' || reply[3] == '\n');
}

bool pop_before_smtp(const ServiceSettings& s, const std::atomic<bool>* cut_off)
{
    MailConnection link;
    link.set_cut_off(cut_off);
    TcpSocket& sock = link.socket();
    bool passed = false;
    std::string why = kPop3Failed;
    Endpoint server;
    if (!resolve_host(s.pop_server, pop3_port(s), server)) {
        std::perror("pop3_connect()");
    } else if (!sock.connect_to(server)) {
        std::perror("connect()");
    } else {
        passed = pop3_login(link, s, why);
    }
    // A log-in the stop broke off is no POP3 failure: its mail is logged as dropped.
    const bool broken_off = cut_off != nullptr && cut_off->load();
    if (!passed && !broken_off) write_log_line(s.logfile, why.c_str());
    return passed;
}

std::string mail_worker(const ServiceSettings& s, const TrapRecord& trap, const std::atomic<bool>* cut_off,
                        const MibNames* names, std::uint32_t repeats)
{
    std::vector<char> body(kReportBufferSize + 128, '\0');
    std::size_t n = 0;
    if (repeats > 0) n = std::snprintf(body.data(), 128, "%s\r\n\r\n", repeats_text(repeats).c_str());
    format_trap_report(body.data() + n, kReportBufferSize, trap, "\r\n", names);
    char subject[256];
    std::snprintf(subject, sizeof subject, "SNMP Trap %s", trap.recv_time);
    return send_mail_text(s, subject, body.data(), cut_off);
}

std::string send_mail_text(const ServiceSettings& s, const char* subject, const char* body,
                           const std::atomic<bool>* cut_off)
{
    if (is_on(s.f_pop3)) pop_before_smtp(s, cut_off);
    if (cut_off != nullptr && cut_off->load()) return kMailDroppedAtStop;  // no SMTP dialogue after the stop
    SendMail mail(s.mail_from, s.mail_to);
    mail.set_security(mail_security(s));
    SendMail::Limits limits;
    limits.cut_off = cut_off;
    mail.set_limits(limits);
    mail.open(s.smtpport, s.smtpname);
    mail.set_subject(subject);
    return mail.send(body) == 0 ? std::string() : mail.failure();
}

void retry_mail_workers()
{
    if (g_mail_workers != nullptr) g_mail_workers->retry();
}

void finish_mail_workers()
{
    if (g_mail_workers == nullptr) return;
    g_mail_workers->finish();
    if (g_mail_workers->idle()) delete g_mail_workers;  // else left to the workers still under way
    g_mail_workers = nullptr;  // a later mail gets workers of its own
}

namespace {

int start_mail_job(const ServiceSettings& s, MailJob&& job)
{
    if (!is_on(s.f_email)) return 0;
    if (g_mail_workers == nullptr) g_mail_workers = new (std::nothrow) MailWorkers;
    if (g_mail_workers != nullptr && g_mail_workers->submit(std::move(job))) return 0;
    write_log_line(s.logfile, kMailDropped);
    count(Counter::MailsFailed);
    return -1;
}

} // namespace

std::string repeats_text(std::uint32_t repeats)
{
    char text[96];
    std::snprintf(text, sizeof text, "同じトラップを %u 回受信しました", repeats);
    return text;
}

int start_mail_notification(const ServiceSettings& s, const TrapRecord& trap, std::uint32_t repeats)
{
    if (!is_on(s.f_email)) return 0;
    return start_mail_job(s, MailJob{&s, trap, mib_names_in_use(), repeats, {}, {}});
}

int start_text_mail(const ServiceSettings& s, std::string subject, std::string body)
{
    return start_mail_job(s, MailJob{&s, TrapRecord{}, nullptr, 0, std::move(subject), std::move(body)});
}
