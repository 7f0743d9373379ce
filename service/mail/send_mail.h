// SendMail: one plain-text message to one SMTP server over one connection.
//
// Order of calls: construct, set_security() when TLS or AUTH is wanted,
// open(), set_subject(), send() once, destroy (the destructor closes the
// connection). send() greets with EHLO (HELO when the server refuses EHLO
// and neither TLS nor AUTH is asked for), then, as asked, STARTTLS and EHLO
// again, AUTH PLAIN (AUTH LOGIN when the server offers only that); a refusal
// in these steps ends the dialogue with QUIT, a failed TLS handshake or
// certificate check by closing the connection, and failure() then holds the
// one line to log. The password goes out only over TLS. The message steps
// (MAIL FROM, RCPT TO, DATA, headers, body, ".", QUIT) all run even after
// one failed, and send() returns 0 only when every step succeeded. The body
// is code page 932 text; it goes out as ISO-2022-JP with every line end CR LF
// and every line that begins with "." doubled, so no text of the body can end
// the DATA phase. A reply line may arrive cut into several reads; a step fails when
// its reply has not ended by the reply deadline (two minutes) or grows past
// the reply size cap (64 KiB); set_limits(), before open(), changes both.
// The TLS handshake has the same deadline. Nothing is printed or logged.
#pragma once

#include <cstddef>
#include <ctime>
#include <memory>
#include <string>

#include "platform/sockets.h"
#include "platform/tls.h"

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
    enum class Read { Data, TimedOut, Closed, Failed };
    int send_all(const char* data, std::size_t length);
    Read receive_some(char* buffer, std::size_t size, std::size_t& got, int seconds);
    int read_reply();
    int command(const char* line);
    int command(const std::string& line) { return command(line.c_str()); }
    bool asks_nothing_new() const;
    int greet();
    bool introduce(int greeting);
    bool start_tls();
    bool authenticate();
    bool give_up(const char* step);
    void drop_connection();
    int send_line(const char* format, const std::string& value);
    int send_recipients();
    int send_headers();
    int send_body(const char* body);

    TcpSocket sock;
    std::unique_ptr<TlsSession> tls_;
    std::string server_;
    std::string reply_;    // the last reply, as received
    std::string failure_;
    Security security_;
    std::string from;
    std::string to;
    std::string cc;
    std::string bcc;
    std::string subject;
    Limits limits_;
};
