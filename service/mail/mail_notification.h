// Mail notification: for every trap the receive loop asks a mail for while
// "f_email" is 1, a worker mails the trap's report to "mail_to" through
// "smtpname", after a POP3 log-in when "f_pop3" is 1.
//
// start_mail_notification() copies the record and returns at once; at most 8
// workers send at the same time, up to 1000 further traps wait in arrival
// order. Every mail that is not delivered writes one line to the log file
// saying why: the SMTP step that failed with the server's reply (SendMail's
// failure()), a trap dropped because 1000 already wait, a worker out of
// memory, or the stop. finish_mail_workers(), called once when the receive
// loop ends, gives the mails under way and queued 8 seconds to go out, then
// cuts the dialogues still under way off (2 seconds more at most) and logs
// each undelivered one as dropped; a later mail starts new workers. The
// settings must outlive every worker (the receive loop's live for the whole
// program).
//
// The POP3 log-in follows "smtp_security": 0 in clear; 1 STLS (RFC 2595)
// after the greeting; 2 TLS from the first byte, on port 995 when "pop_port"
// is 110 (the port of POP3 in clear), else on "pop_port". The server's
// certificate is checked as the SMTP server's is ("f_smtp_verify", against
// "pop_server"). When TLS cannot be had, USER and PASS are not sent and the
// log gets one line saying why.
#pragma once

#include <atomic>
#include <string>

#include "common/mib_names.h"
#include "common/settings.h"
#include "common/trap_record.h"
#include "service/mail/send_mail.h"

// `repeats` > 0: the mail that closes a window of repeats, its body
// beginning with repeats_text().
int start_mail_notification(const ServiceSettings& settings, const TrapRecord& trap, std::uint32_t repeats = 0);
// A mail of its own text (a minute's summary), the same way.
int start_text_mail(const ServiceSettings& settings, std::string subject, std::string body);
// "同じトラップを N 回受信しました"
std::string repeats_text(std::uint32_t repeats);
void finish_mail_workers();

// The worker's whole job for one trap: body, optional POP3 log-in, SMTP.
// The body is the report, with `names` where given (trap_report.h); the
// workers that start_mail_notification() feeds hold the names in use when
// the trap came (mib_in_use.h).
// Returns the log line of an undelivered mail, empty when it was delivered.
// Once `cut_off` is set, every wait ends within a second. It may throw
// std::bad_alloc.
std::string mail_worker(const ServiceSettings& settings, const TrapRecord& trap,
                        const std::atomic<bool>* cut_off = nullptr, const MibNames* names = nullptr,
                        std::uint32_t repeats = 0);
// The optional POP3 log-in and the SMTP dialogue for one mail.
std::string send_mail_text(const ServiceSettings& settings, const char* subject, const char* body,
                           const std::atomic<bool>* cut_off = nullptr);

// USER, PASS and QUIT against "pop_server"; true when the log-in passed.
// A failure writes one line to the log file: "POP3認証に失敗しました。", or
// why TLS could not be had.
bool pop_before_smtp(const ServiceSettings& settings, const std::atomic<bool>* cut_off = nullptr);

// One POP3 reply (waiting at most 60 seconds): true when it begins with the
// word "+OK" (followed by a blank or the line end).
bool pop3_read_reply(MailConnection& link);
