// Judging an SMTP server's reply as it arrives, in reads of any size.
#pragma once

#include <cstddef>
#include <string>

// Outcome of the reply lines read so far.
enum class Verdict { Success, Failure, Undecided };

// Cuts received bytes into lines at CR and LF (empty lines vanish) and judges
// each complete line: one whose first three characters are digits and whose
// fourth is white space, or that holds the three digits alone, decides; 400
// or less succeeds, above 400 fails. Only
// the first four characters of the line under way are kept, so a line split
// between two reads is judged whole.
class ReplyLines {
public:
    // Takes the next bytes; the verdict of the first deciding line they
    // complete (the rest of them are not looked at), else Undecided.
    Verdict take(const char* data, std::size_t size);

private:
    char head_[4] = {};
    std::size_t length_ = 0;  // of the line under way, counting the characters not kept
};

// Reading a whole reply, as SendMail keeps it for its log line and for the
// extensions EHLO lists.

// The first line of `reply` that decides, fit for a log line: control
// characters become '?', at most 200 characters. Empty when no line decides.
std::string deciding_line(const std::string& reply);

// The mechanisms the AUTH line of an EHLO reply offers ("250-AUTH PLAIN
// LOGIN", also the old form "250-AUTH=LOGIN").
struct AuthOffer {
    bool plain = false;
    bool login = false;
};
AuthOffer auth_offer(const std::string& ehlo_reply);
