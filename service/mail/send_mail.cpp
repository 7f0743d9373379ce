#include "service/mail/send_mail.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "service/mail/jis_converter.h"
#include "service/mail/reply_lines.h"

namespace {

constexpr std::size_t kLineSize = 2048;
constexpr std::size_t kReplySize = 2048;
constexpr std::size_t kChunkSize = 2048;
constexpr int kReplyWaitSeconds = 20;

const char* text_or_empty(const char* text) { return text != nullptr ? text : ""; }

// Seconds to wait next: at most one 20-second wait, never past the deadline
// (rounded up to a whole second); 0 once the deadline has passed.
int seconds_to_wait(std::chrono::steady_clock::time_point deadline)
{
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(left).count();
    return seconds < kReplyWaitSeconds ? static_cast<int>(seconds) : kReplyWaitSeconds;
}

} // namespace

SendMail::SendMail(const char* from_, const char* to_, const char* cc_, const char* bcc_, const char* subject_)
    : from(text_or_empty(from_)), to(text_or_empty(to_)), cc(text_or_empty(cc_)), bcc(text_or_empty(bcc_)),
      subject(text_or_empty(subject_))
{
}

int SendMail::open(int port, const char* server)
{
    if (!sock.create()) return -1;
    if (!sock.bind_any()) {
        sock.close();
        return -1;
    }
    Ipv4Endpoint server_address;
    if (!resolve_ipv4(server, static_cast<std::uint16_t>(port), server_address)) return -1;
    if (!sock.connect_to(server_address)) return -1;
    return read_reply();
}

void SendMail::set_subject(const char* text)
{
    if (text != nullptr) subject = text;
}

int SendMail::send_all(const char* data, std::size_t length)
{
    std::size_t sent = 0;
    while (sent < length) {
        const long n = sock.send(data + sent, length - sent);
        if (n < 0) return -1;
        sent += static_cast<std::size_t>(n);
    }
    return static_cast<int>(sent);
}

// One reply, however it is cut into reads: it must end within the reply
// deadline and hold at most the reply size cap, else the step fails.
int SendMail::read_reply()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits_.reply_seconds);
    ReplyLines lines;
    std::size_t received = 0;
    for (int seconds; (seconds = seconds_to_wait(deadline)) > 0;) {
        const TcpSocket::Wait wait = sock.wait_readable(seconds);
        if (wait == TcpSocket::Wait::Failed) return -1;
        if (wait == TcpSocket::Wait::TimedOut) continue;
        char reply[kReplySize];
        const long n = sock.receive(reply, sizeof reply);
        if (n < 0 && TcpSocket::last_error_would_block()) continue;
        if (n <= 0 || static_cast<unsigned long>(n) > sizeof reply) return -1;  // 0: the server closed
        received += static_cast<std::size_t>(n);
        if (received > limits_.reply_bytes) return -1;
        const Verdict verdict = lines.take(reply, static_cast<std::size_t>(n));
        if (verdict != Verdict::Undecided) return verdict == Verdict::Success ? 0 : -1;
    }
    return -1;
}

int SendMail::command(const char* line)
{
    if (send_all(line, std::strlen(line)) < 0) return -1;
    return read_reply();
}

int SendMail::send_line(const char* format, const std::string& value)
{
    char line[kLineSize];
    std::snprintf(line, sizeof line, format, value.c_str(), "\r\n");
    return send_all(line, std::strlen(line)) < 0 ? -1 : 0;
}

int SendMail::send_recipients()
{
    if (to.empty()) return -1;
    for (const std::string* rcpt : {&to, &cc, &bcc}) {
        if (rcpt->empty()) continue;
        char line[kLineSize];
        std::snprintf(line, sizeof line, "RCPT TO: %s%s", rcpt->c_str(), "\r\n");
        if (command(line) != 0) return -1;
    }
    return 0;
}

std::string SendMail::date_line(std::time_t now)
{
    std::tm local{};
    localtime_r(&now, &local);
    char date[kLineSize];
    std::strftime(date, sizeof date, "Date: %a, %d %b %Y %H:%M:%S", &local);
    tzset();
    const int hours = static_cast<int>(-timezone / 3600);
    char line[kLineSize + 16];
    std::snprintf(line, sizeof line, "%s %+.2d00\r\n", date, hours);
    return line;
}

int SendMail::send_headers()
{
    if (!subject.empty() && send_line("Subject: %s%s", subject) != 0) return -1;
    if (send_line("From: %s%s", from) != 0) return -1;
    if (!to.empty() && send_line("To: %s%s", to) != 0) return -1;
    if (!cc.empty() && send_line("Cc: %s%s", cc) != 0) return -1;
    if (!bcc.empty() && send_line("Bcc: %s%s", bcc) != 0) return -1;
    const std::string date = date_line(std::time(nullptr));
    if (send_all(date.c_str(), date.size()) < 0) return -1;
    const char mailer[] = "X-Mailer: Orvel Trap Receiver SendMail Class V1.0\r\n";
    return send_all(mailer, sizeof mailer - 1) < 0 ? -1 : 0;
}

std::string SendMail::transparent_body(const char* body)
{
    std::string out;
    bool line_start = true;
    for (const char* p = body; *p != '\0'; ++p) {
        if (line_start && *p == '.') out += '.';
        line_start = false;
        if (*p == '\r' || *p == '\n') {
            if (*p == '\r' && p[1] == '\n') ++p;
            out += "\r\n";
            line_start = true;
            continue;
        }
        out += *p;
    }
    return out;
}

int SendMail::send_body(const char* body)
{
    const std::string text = transparent_body(body);
    JisConverter converter;
    converter.start(text.c_str());
    char chunk[kChunkSize];
    char last = '\0';
    for (std::size_t n; (n = converter.next(chunk, sizeof chunk)) > 0;) {
        if (send_all(chunk, n) < 0) return -1;
        last = chunk[n - 1];
    }
    if (last != '\n' && send_all("\r\n", 2) < 0) return -1;
    return 0;
}

int SendMail::send(const char* body)
{
    char hello[kLineSize] = "HELO ";
    local_host_name(hello + 5, kLineSize - 5 - 2);
    std::strcat(hello, "\r\n");
    int result = command(hello);
    char line[kLineSize];
    std::snprintf(line, sizeof line, "MAIL FROM: %s%s", from.c_str(), "\r\n");
    result |= command(line);
    result |= send_recipients();
    result |= command("DATA\r\n");
    result |= send_headers();
    const char content_type[] = "Content-Type: text/plain; charset=iso-2022-jp\r\n\r\n";
    result |= send_all(content_type, sizeof content_type - 1) < 0 ? -1 : 0;
    result |= send_body(body);
    std::snprintf(line, sizeof line, ".%s", "\r\n");
    result |= command(line);
    result |= command("QUIT\r\n");
    return result;
}
