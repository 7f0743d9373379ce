// SendMail: one plain-text message to one SMTP server over one connection.
//
// Order of calls: construct, open(), set_subject(), send() once, destroy (the
// destructor closes the connection). send() runs every step of the dialogue
// (HELO, MAIL FROM, RCPT TO, DATA, headers, body, ".", QUIT) even after one
// failed, and returns 0 only when all succeeded. The body is code page 932
// text; it goes out as ISO-2022-JP with every line end CR LF and every line
// that begins with "." doubled, so no text of the body can end the DATA
// phase. A reply line may arrive cut into several reads; a step fails when
// its reply has not ended by the reply deadline (two minutes) or grows past
// the reply size cap (64 KiB); set_limits(), before open(), changes both.
// Nothing is printed or logged.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

#include "platform/sockets.h"

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

    int open(int port, const char* server);
    void set_subject(const char* text);
    int send(const char* body);

    // The date header line for `now`: "Date: %a, %d %b %Y %H:%M:%S %+.2d00\r\n"
    // in local time, the zone being the standard-time offset in whole hours.
    static std::string date_line(std::time_t now);
    // The body as it goes out before conversion: CR LF line ends, dots doubled.
    static std::string transparent_body(const char* body);

private:
    int send_all(const char* data, std::size_t length);
    int read_reply();
    int command(const char* line);
    int send_line(const char* format, const std::string& value);
    int send_recipients();
    int send_headers();
    int send_body(const char* body);

    TcpSocket sock;
    std::string from;
    std::string to;
    std::string cc;
    std::string bcc;
    std::string subject;
    Limits limits_;
};
