#include "service/mail/send_mail.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

#include "service/mail/jis_converter.h"
#include "service/mail/reply_lines.h"

namespace {

constexpr std::size_t kLineSize = 2048;
constexpr std::size_t kReplySize = 2048;
constexpr std::size_t kChunkSize = 2048;
constexpr int kReplyWaitSeconds = 20;

const char kEhloFailed[] = "SMTPサーバーへのEHLOが失敗しました: ";
const char kStartTlsRefused[] = "SMTPサーバーがSTARTTLSを拒否しました: ";
const char kTlsFailed[] = "SMTPサーバーとのTLS接続に失敗しました: ";
const char kCertificateRefused[] = "SMTPサーバーの証明書を確認できませんでした: ";
const char kAuthFailed[] = "SMTP認証に失敗しました: ";
const char kNoPasswordInClear[] = "暗号化されていない接続にはSMTP認証のパスワードを送りません。";
const char kConnectFailed[] = "SMTPサーバーに接続できませんでした: ";
const char kGreetingRefused[] = "SMTPサーバーが接続を受け付けませんでした: ";
const char kHeloFailed[] = "SMTPサーバーへのHELOが失敗しました: ";
const char kMailFromFailed[] = "SMTPサーバーへのMAIL FROMが失敗しました: ";
const char kRcptFailed[] = "SMTPサーバーへのRCPT TOが失敗しました: ";
const char kNoRecipient[] = "メールの宛先がないため、メールを送れません。";
const char kDataFailed[] = "SMTPサーバーへのDATAが失敗しました: ";
const char kMessageNotSent[] = "SMTPサーバーへのメール本文の送信に失敗しました。";
const char kMessageRefused[] = "SMTPサーバーへのメールの送信が失敗しました: ";
const char kNoReply[] = "応答がありません";
const char kConnectionClosed[] = "接続が切れました";
const char kReplyTooLong[] = "応答が長すぎます";
const char kSendFailed[] = "送信に失敗しました";
const char kReceiveFailed[] = "受信に失敗しました";

const char* text_or_empty(const char* text) { return text != nullptr ? text : ""; }

std::string base64(const std::string& data)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::size_t n = data.size() - i < 3 ? data.size() - i : 3;
        unsigned long bits = 0;
        for (std::size_t k = 0; k < 3; ++k)
            bits = bits << 8 | (k < n ? static_cast<unsigned char>(data[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k) out += k <= n ? digits[(bits >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

// This machine's name for EHLO and HELO; "localhost" when it cannot be had,
// as both commands need a name.
std::string local_name()
{
    char name[kLineSize - 7];
    return local_host_name(name, sizeof name) && name[0] != '\0' ? name : "localhost";
}

// A domain fit for a message id: letters, digits, '-' and '.', not empty.
bool is_plain_domain(const std::string& text)
{
    if (text.empty() || text.size() > 200) return false;
    for (char c : text) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!ok) return false;
    }
    return true;
}

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

bool SendMail::connect(int port, const char* server)
{
    TcpSocket& sock = link_.socket();
    Endpoint address;
    return resolve_host(server, static_cast<std::uint16_t>(port), address) && sock.connect_to(address);
}

int SendMail::open(int port, const char* server)
{
    server_ = server;
    link_.set_cut_off(limits_.cut_off);
    if (!connect(port, server)) {
        failure_ = kConnectFailed + server_ + ":" + std::to_string(port);
        link_.close();
        return -1;
    }
    if (security_.mode == 2 && !start_tls()) return -1;
    if (read_reply() == 0) return 0;
    give_up(kGreetingRefused);
    return -1;
}

// The handshake over the open connection; on failure the connection is
// dropped and failure() says why.
bool SendMail::start_tls()
{
    std::string detail;
    const TlsSession::Handshake done =
        link_.start_tls(server_.c_str(), security_.verify, limits_.reply_seconds, detail);
    if (done == TlsSession::Handshake::Done) return true;
    failure_ = (done == TlsSession::Handshake::Untrusted ? kCertificateRefused : kTlsFailed) + detail;
    return false;
}

void SendMail::set_subject(const char* text)
{
    if (text != nullptr) subject = text;
}

int SendMail::send_all(const char* data, std::size_t length)
{
    return link_.send_all(data, length) ? static_cast<int>(length) : -1;
}

// One reply, however it is cut into reads: it must end within the reply
// deadline and hold at most the reply size cap, else the step fails. What
// arrived is kept in reply_, why nothing decided in trouble_.
int SendMail::read_reply()
{
    reply_.clear();
    trouble_ = "";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits_.reply_seconds);
    ReplyLines lines;
    for (int seconds; (seconds = seconds_to_wait(deadline)) > 0;) {
        char reply[kReplySize];
        std::size_t n = 0;
        const MailConnection::Read read = link_.receive(reply, sizeof reply, n, seconds);
        if (read == MailConnection::Read::TimedOut) continue;
        if (read != MailConnection::Read::Data) {
            trouble_ = read == MailConnection::Read::Closed ? kConnectionClosed : kReceiveFailed;
            return -1;
        }
        if (reply_.size() + n > limits_.reply_bytes) {
            trouble_ = kReplyTooLong;
            return -1;
        }
        reply_.append(reply, n);
        const Verdict verdict = lines.take(reply, n);
        if (verdict != Verdict::Undecided) return verdict == Verdict::Success ? 0 : -1;
    }
    trouble_ = kNoReply;
    return -1;
}

int SendMail::command(const char* line)
{
    reply_.clear();
    if (send_all(line, std::strlen(line)) < 0) {
        trouble_ = kSendFailed;
        return -1;
    }
    return read_reply();
}

// True when the last reply's deciding line has `code`.
bool SendMail::reply_is(const char* code) const { return deciding_line(reply_).compare(0, 3, code) == 0; }

int SendMail::send_line(const char* format, const std::string& value)
{
    char line[kLineSize];
    std::snprintf(line, sizeof line, format, value.c_str(), "\r\n");
    return send_all(line, std::strlen(line)) < 0 ? -1 : 0;
}

bool SendMail::send_recipients()
{
    if (to.empty()) {
        failure_ = kNoRecipient;
        return false;
    }
    for (const std::string* rcpt : {&to, &cc, &bcc}) {
        if (rcpt->empty()) continue;
        char line[kLineSize];
        std::snprintf(line, sizeof line, "RCPT TO: %s%s", rcpt->c_str(), "\r\n");
        if (command(line) != 0) return give_up(kRcptFailed);
    }
    return true;
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
    const std::string id = message_id_line(std::time(nullptr), from);
    if (send_all(id.c_str(), id.size()) < 0) return -1;
    const char mailer[] = "X-Mailer: Orvel Trap Receiver SendMail Class V1.0\r\n";
    return send_all(mailer, sizeof mailer - 1) < 0 ? -1 : 0;
}

std::string SendMail::message_id_line(std::time_t now, const std::string& from)
{
    static std::atomic<unsigned> serial{0};
    std::random_device random;
    std::string domain = from.substr(from.find_last_of('@') + 1);
    if (from.find('@') == std::string::npos || !is_plain_domain(domain)) {
        char host[128];
        domain = local_host_name(host, sizeof host) && is_plain_domain(host) ? host : "localhost";
    }
    char left[80];
    std::snprintf(left, sizeof left, "%lld.%08x%08x.%u", static_cast<long long>(now), static_cast<unsigned>(random()),
                  static_cast<unsigned>(random()), serial++);
    return std::string("Message-ID: <") + left + "@" + domain + ">\r\n";
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
    const bool sent = failure_.empty() && introduce(greet()) && send_message(body);
    // A server that answered gets its QUIT; one that went silent or away does not.
    if (link_.is_open() && trouble_[0] == '\0') command("QUIT\r\n");
    return sent ? 0 : -1;
}

// MAIL FROM to the end of the data; false at the first step that fails,
// failure() telling why. Nothing of the message goes out before a 354.
bool SendMail::send_message(const char* body)
{
    char line[kLineSize];
    std::snprintf(line, sizeof line, "MAIL FROM: %s%s", from.c_str(), "\r\n");
    if (command(line) != 0) return give_up(kMailFromFailed);
    if (!send_recipients()) return false;
    if (command("DATA\r\n") != 0 || !reply_is("354")) return give_up(kDataFailed);
    const char content_type[] = "Content-Type: text/plain; charset=iso-2022-jp\r\n\r\n";
    if (send_headers() != 0 || send_all(content_type, sizeof content_type - 1) < 0 || send_body(body) != 0) {
        failure_ = kMessageNotSent;
        trouble_ = kSendFailed;
        return false;
    }
    return command(".\r\n") == 0 || give_up(kMessageRefused);
}

bool SendMail::asks_nothing_new() const { return security_.mode == 0 && !security_.auth; }

// EHLO, or HELO after a refused EHLO when nothing beyond the plain dialogue
// is asked for. The result of the greeting step.
int SendMail::greet()
{
    const int ehlo = command("EHLO " + local_name() + "\r\n");
    if (ehlo == 0 || !asks_nothing_new()) return ehlo;
    return command("HELO " + local_name() + "\r\n");
}

// The steps between the greeting and the message that the settings ask for;
// false when the dialogue ends here, failure() telling why.
bool SendMail::introduce(int greeting)
{
    if (greeting != 0) return give_up(asks_nothing_new() ? kHeloFailed : kEhloFailed);
    if (asks_nothing_new()) return true;
    if (security_.mode == 1) {
        if (command("STARTTLS\r\n") != 0) return give_up(kStartTlsRefused);
        if (!start_tls()) return false;
        if (command("EHLO " + local_name() + "\r\n") != 0) return give_up(kEhloFailed);
    }
    if (!security_.auth) return true;
    if (!link_.secure()) {
        failure_ = kNoPasswordInClear;
        return false;
    }
    return authenticate() || give_up(kAuthFailed);
}

// AUTH PLAIN, or AUTH LOGIN when the last EHLO offered that and not PLAIN.
bool SendMail::authenticate()
{
    const AuthOffer offer = auth_offer(reply_);
    const std::string& user = security_.user;
    const std::string& password = security_.password;
    if (offer.login && !offer.plain) {
        return command("AUTH LOGIN\r\n") == 0 && command(base64(user) + "\r\n") == 0 &&
               command(base64(password) + "\r\n") == 0;
    }
    return command("AUTH PLAIN " + base64(std::string(1, '\0') + user + '\0' + password) + "\r\n") == 0;
}

// Sets the log line for `step` with the server's reply, or why there was
// none; always false.
bool SendMail::give_up(const char* step)
{
    const std::string reply = deciding_line(reply_);
    failure_ = step + (!reply.empty() ? reply : trouble_[0] != '\0' ? trouble_ : kNoReply);
    return false;
}

TlsSession::Handshake MailConnection::start_tls(const char* host, bool verify, int seconds, std::string& detail)
{
    tls_.reset(new TlsSession(sock_));
    const TlsSession::Handshake done = tls_->handshake(host, verify, seconds, detail);
    if (done != TlsSession::Handshake::Done) close();
    return done;
}

bool MailConnection::send_all(const char* data, std::size_t length)
{
    return tls_ ? tls_->send(data, length) : sock_.send_all(data, length);
}

MailConnection::Read MailConnection::receive(char* buffer, std::size_t size, std::size_t& got, int seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (cut_off()) return Read::Failed;
        const auto left = std::chrono::ceil<std::chrono::seconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return Read::TimedOut;
        const Read read = receive_once(buffer, size, got, cut_off_ != nullptr ? 1 : static_cast<int>(left));
        if (read != Read::TimedOut) return read;
    }
}

// One wait of at most `seconds` and one read, through TLS once it is up.
MailConnection::Read MailConnection::receive_once(char* buffer, std::size_t size, std::size_t& got, int seconds)
{
    got = 0;
    if (tls_) {
        switch (tls_->receive(buffer, size, got, seconds)) {
        case TlsSession::Read::Data: return Read::Data;
        case TlsSession::Read::TimedOut: return Read::TimedOut;
        case TlsSession::Read::Closed: return Read::Closed;
        case TlsSession::Read::Failed: return Read::Failed;
        }
    }
    const TcpSocket::Wait wait = sock_.wait_readable(seconds);
    if (wait != TcpSocket::Wait::Readable) return wait == TcpSocket::Wait::Failed ? Read::Failed : Read::TimedOut;
    const long n = sock_.receive(buffer, size);
    if (n < 0 && TcpSocket::last_error_would_block()) return Read::TimedOut;
    if (n < 0 || static_cast<unsigned long>(n) > size) return Read::Failed;
    if (n == 0) return Read::Closed;
    got = static_cast<std::size_t>(n);
    return Read::Data;
}

void MailConnection::close()
{
    tls_.reset();
    sock_.close();
}
