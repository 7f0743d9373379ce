// SendMail: one plain-text message to one SMTP server over one connection.
//
// Order of calls: construct, set_security() when TLS or AUTH is wanted,
// open(), set_subject(), send() once, destroy (the destructor closes the
// connection). send() greets with EHLO (HELO when the server refuses EHLO
// and neither TLS nor AUTH is asked for), then, as asked, STARTTLS and EHLO
// again, AUTH PLAIN (AUTH LOGIN when the server offers only that), then MAIL
// FROM, RCPT TO, DATA, the headers, the body, "." and QUIT. The dialogue ends
// at the first step that fails: after a refusal (the greeting of open()
// included), a reply that never came or a connection the server closed, it
// ends with QUIT; after a failed TLS handshake or certificate check, by
// closing the connection. The message itself goes out only after a 354
// reply to DATA, so no text of it is ever read as a command. send() returns
// 0 when the server took the message ("." accepted), else -1, and failure()
// then holds the one line to log, with the server's reply where there was
// one; open() sets it too when it fails. The password goes out only over
// TLS. The body is code page 932 text; it goes out as ISO-2022-JP with every
// line end CR LF and every line that begins with "." doubled, so no text of
// the body can end the DATA phase. A reply line may arrive cut into several
// reads; a step fails when its reply has not ended by the reply deadline (two
// minutes) or grows past the reply size cap (64 KiB); set_limits(), before
// open(), changes both and can give a cut-off flag: once it is set, every
// wait ends within a second and the dialogue gives up. The TLS handshake has
// the same deadline. Nothing is printed or logged.
#pragma once

#include <atomic>
#include <cstddef>
#include <ctime>
#include <memory>
#include <string>

#include "platform/sockets.h"
#include "platform/tls.h"

// A TCP connection to a mail server, in clear or, once start_tls() has
// succeeded, through TLS: what SendMail and the POP3 log-in talk over. With a
// cut-off flag given, receive() waits in slices of a second and fails once
// the flag is set.
class MailConnection {
public:
    enum class Read { Data, TimedOut, Closed, Failed };

    TcpSocket& socket() { return sock_; }
    bool is_open() const { return sock_.is_open(); }
    bool secure() const { return tls_ != nullptr; }
    void set_cut_off(const std::atomic<bool>* cut_off) { cut_off_ = cut_off; }
    // The handshake over the connected socket. Unless it gives Done the
    // connection is closed (nothing more may go over it in clear) and
    // `detail` says why.
    TlsSession::Handshake start_tls(const char* host, bool verify, int seconds, std::string& detail);
    bool send_all(const char* data, std::size_t length);
    // One read of what the server sent (`got` bytes), waiting at most `seconds`.
    Read receive(char* buffer, std::size_t size, std::size_t& got, int seconds);
    void close();

private:
    Read receive_once(char* buffer, std::size_t size, std::size_t& got, int seconds);
    bool cut_off() const { return cut_off_ != nullptr && cut_off_->load(); }

    TcpSocket sock_;
    std::unique_ptr<TlsSession> tls_;
    const std::atomic<bool>* cut_off_ = nullptr;
};

class SendMail {
public:
    SendMail(const char* from, const char* to, const char* cc = nullptr, const char* bcc = nullptr,
             const char* subject = nullptr);
    virtual ~SendMail() = default;
    SendMail(const SendMail&) = delete;
    SendMail& operator=(const SendMail&) = delete;

    // Bounds on each server reply.
    struct Limits {
        int reply_seconds = 120;             // from the start of the wait to the end of the deciding line
        std::size_t reply_bytes = 64 * 1024; // bytes received for one reply
        const std::atomic<bool>* cut_off = nullptr;  // once set, the dialogue gives up
    };
    void set_limits(const Limits& limits) { limits_ = limits; }

    // What the server must offer before the message.
    struct Security {
        int mode = 0;        // 0 plain, 1 STARTTLS, 2 TLS from the first byte
        bool verify = true;  // check the certificate chain and the host name
        bool auth = false;
        std::string user;
        std::string password;
    };
    void set_security(const Security& security) { security_ = security; }

    int open(int port, const char* server);
    void set_subject(const char* text);
    int send(const char* body);
    // The log line of the step that ended the dialogue early; empty when none did.
    const std::string& failure() const { return failure_; }

    // The date header line for `now`: "Date: %a, %d %b %Y %H:%M:%S %+.2d00\r\n"
    // in local time, the zone being the standard-time offset in whole hours.
    static std::string date_line(std::time_t now);
    // The body as it goes out before conversion: CR LF line ends, dots doubled.
    static std::string transparent_body(const char* body);
    // The header line "Message-ID: <...>\r\n", unique for every call, its
    // domain taken from `from` when that holds a plain one.
    static std::string message_id_line(std::time_t now, const std::string& from);

private:
    bool connect(int port, const char* server);
    int send_all(const char* data, std::size_t length);
    int read_reply();
    int command(const char* line);
    int command(const std::string& line) { return command(line.c_str()); }
    bool reply_is(const char* code) const;
    bool asks_nothing_new() const;
    int greet();
    bool introduce(int greeting);
    bool start_tls();
    bool authenticate();
    bool send_message(const char* body);
    bool give_up(const char* step);
    int send_line(const char* format, const std::string& value);
    bool send_recipients();
    int send_headers();
    int send_body(const char* body);

    MailConnection link_;
    std::string server_;
    std::string reply_;    // the last reply, as received
    const char* trouble_ = "";  // why the last command got no reply
    std::string failure_;
    Security security_;
    std::string from;
    std::string to;
    std::string cc;
    std::string bcc;
    std::string subject;
    Limits limits_;
};
