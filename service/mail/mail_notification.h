// Mail notification: for every trap that passes the trap level while
// "f_email" is 1, a worker mails the trap's report to "mail_to" through
// "smtpname", after a POP3 log-in when "f_pop3" is 1.
//
// start_mail_notification() copies the record and returns at once; at most 8
// workers send at the same time, up to 1000 further traps wait in arrival
// order, and a trap beyond that is dropped with a line in the log file. The
// settings must outlive every worker (the receive loop's live for the whole
// program).
#pragma once

#include "common/settings.h"
#include "common/trap_record.h"
#include "platform/sockets.h"

int start_mail_notification(const ServiceSettings& settings, const TrapRecord& trap);

// The worker's whole job for one trap: body, optional POP3 log-in, SMTP. It
// may throw std::bad_alloc; the pool then drops the mail without a word.
void mail_worker(const ServiceSettings& settings, const TrapRecord& trap);

// USER, PASS and QUIT against "pop_server"; true when the log-in passed.
// A failure writes "POP3認証に失敗しました。" to the log file.
bool pop_before_smtp(const ServiceSettings& settings);

// One POP3 reply (waiting at most 60 seconds): true when it begins with the
// word "+OK" (followed by a blank or the line end).
bool pop3_read_reply(TcpSocket& sock);
