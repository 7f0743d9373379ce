#include "service/mail/mail_notification.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/trap_report.h"
#include "service/file_recorders.h"
#include "service/mail/send_mail.h"
#include "service/notifications.h"
#include "service/worker_pool.h"

namespace {

constexpr int kMaxMailWorkers = 8;
constexpr std::size_t kMaxQueuedMails = 1000;
constexpr std::size_t kPop3BufferSize = 1024;
constexpr int kPop3WaitSeconds = 60;
const char kPop3Failed[] = "POP3認証に失敗しました。";
const char kMailDropped[] = "メール通知の待ちが1000件を超えたため、トラップ 1 件のメールを破棄しました。";

struct MailJob {
    const ServiceSettings* settings;
    TrapRecord trap;
};

// Made at the first mail and never destroyed: workers may still run when the
// program ends. Only the receive loop's thread touches the pointer.
WorkerPool<MailJob>* g_mail_pool = nullptr;

WorkerPool<MailJob>& mail_pool()
{
    if (g_mail_pool == nullptr)
        g_mail_pool = new WorkerPool<MailJob>([](MailJob& job) { mail_worker(*job.settings, job.trap); },
                                              kMaxMailWorkers, kMaxQueuedMails);
    return *g_mail_pool;
}

bool send_pop3_command(TcpSocket& sock, const char* name, const char* value)
{
    char line[kPop3BufferSize];
    if (value != nullptr) {
        std::snprintf(line, sizeof line, "%s %s\r\n", name, value);
    } else {
        std::snprintf(line, sizeof line, "%s\r\n", name);
    }
    return sock.send(line, std::strlen(line)) >= 0;
}

// The exchange itself; false at the first refusal.
bool pop3_login(TcpSocket& sock, const ServiceSettings& s)
{
    if (!pop3_read_reply(sock)) return false;  // greeting: no QUIT after a refused one
    send_pop3_command(sock, "USER", s.pop_user);
    if (!pop3_read_reply(sock)) {
        send_pop3_command(sock, "QUIT", nullptr);
        return false;
    }
    send_pop3_command(sock, "PASS", s.pop_pass);
    if (!pop3_read_reply(sock)) {
        send_pop3_command(sock, "QUIT", nullptr);
        return false;
    }
    send_pop3_command(sock, "QUIT", nullptr);
    if (pop3_read_reply(sock)) {
        sock.shutdown_both();
    } else {
        send_pop3_command(sock, "QUIT", nullptr);
    }
    return true;
}

// An unknown "smtp_security" asks for TLS from the first byte rather than
// fall back to a dialogue in clear.
SendMail::Security mail_security(const ServiceSettings& s)
{
    SendMail::Security security;
    security.mode = s.smtp_security == 0 || s.smtp_security == 1 ? s.smtp_security : 2;
    security.verify = s.f_smtp_verify != 0;
    security.auth = is_on(s.f_smtp_auth);
    security.user = s.smtp_user;
    security.password = s.smtp_pass;
    return security;
}

} // namespace

bool pop3_read_reply(TcpSocket& sock)
{
    if (sock.wait_readable(kPop3WaitSeconds) != TcpSocket::Wait::Readable) return false;
    char reply[kPop3BufferSize + 1];
    const long n = sock.receive(reply, kPop3BufferSize);
    if (n < 0) return false;
    reply[n] = '\0';
    // "+OK" as a whole word: servers answer a bare "+OK" CR LF to USER.
    return std::strncmp(reply, "+OK", 3) == 0 && (reply[3] == ' ' || reply[3] == '\r' || reply[3] == '\n');
}

bool pop_before_smtp(const ServiceSettings& s)
{
    TcpSocket sock;
    bool passed = false;
    Ipv4Endpoint server;
    if (!sock.create()) {
        std::perror("socket()");
    } else if (!resolve_ipv4(s.pop_server, static_cast<std::uint16_t>(s.pop_port), server)) {
        std::perror("pop3_connect()");
    } else if (!sock.connect_to(server)) {
        std::perror("connect()");
    } else {
        passed = pop3_login(sock, s);
    }
    if (!passed) write_log_line(s.logfile, kPop3Failed);
    return passed;
}

void mail_worker(const ServiceSettings& s, const TrapRecord& trap)
{
    std::vector<char> body(kReportBufferSize, '\0');
    format_trap_report(body.data(), body.size(), trap);
    char subject[256];
    std::snprintf(subject, sizeof subject, "SNMP Trap %s", trap.recv_time);
    if (is_on(s.f_pop3)) pop_before_smtp(s);
    SendMail mail(s.mail_from, s.mail_to);
    mail.set_security(mail_security(s));
    mail.open(s.smtpport, s.smtpname);
    mail.set_subject(subject);
    mail.send(body.data());
    if (!mail.failure().empty()) write_log_line(s.logfile, mail.failure().c_str());
}

void retry_mail_workers()
{
    if (g_mail_pool != nullptr) g_mail_pool->retry();
}

int start_mail_notification(const ServiceSettings& s, const TrapRecord& trap)
{
    if (!is_on(s.f_email) || !passes_trap_level(s, trap)) return 0;
    if (mail_pool().submit(MailJob{&s, trap})) return 0;
    write_log_line(s.logfile, kMailDropped);
    return -1;
}
