#include "service/mail/reply_lines.h"

namespace {

// A line of the code alone decides too: the text after it is optional.
Verdict judge_line(const char* head, std::size_t length)
{
    if (length < 3) return Verdict::Undecided;
    for (std::size_t i = 0; i < 3; ++i) {
        if (head[i] < '0' || head[i] > '9') return Verdict::Undecided;
    }
    const char fourth = length == 3 ? ' ' : head[3];
    if (fourth != ' ' && fourth != '\t' && fourth != '\v' && fourth != '\f') return Verdict::Undecided;
    const int code = (head[0] - '0') * 100 + (head[1] - '0') * 10 + (head[2] - '0');
    return code <= 400 ? Verdict::Success : Verdict::Failure;
}

} // namespace

Verdict ReplyLines::take(const char* data, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != '\r' && data[i] != '\n') {
            if (length_ < sizeof head_) head_[length_] = data[i];
            ++length_;
            continue;
        }
        const Verdict verdict = judge_line(head_, length_);
        length_ = 0;
        if (verdict != Verdict::Undecided) return verdict;
    }
    return Verdict::Undecided;
}

namespace {

constexpr std::size_t kMostLoggedReply = 200;

// Calls `each` with every line of `text` (cut at CR and LF, empty lines skipped)
// until it returns true.
template <typename Each>
void for_each_line(const std::string& text, Each each)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        if (end > start && each(text.substr(start, end - start))) return;
        start = end + 1;
    }
}

// A line of the code alone counts as one whose fourth character is a blank.
bool is_reply_line(const std::string& line, const char* fourth_allowed)
{
    if (line.size() < 3) return false;
    for (std::size_t i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
    }
    return std::string(fourth_allowed).find(line.size() == 3 ? ' ' : line[3]) != std::string::npos;
}

std::string upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

} // namespace

std::string deciding_line(const std::string& reply)
{
    std::string found;
    for_each_line(reply, [&found](const std::string& line) {
        if (!is_reply_line(line, " \t\v\f")) return false;
        found = line.substr(0, kMostLoggedReply);
        return true;
    });
    for (char& c : found) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return found;
}

AuthOffer auth_offer(const std::string& ehlo_reply)
{
    AuthOffer offer;
    for_each_line(ehlo_reply, [&offer](const std::string& line) {
        if (!is_reply_line(line, " -")) return false;
        const std::string words = upper(line.size() > 4 ? line.substr(4) : std::string()) + " ";
        if (words.compare(0, 5, "AUTH ") != 0 && words.compare(0, 5, "AUTH=") != 0) return false;
        offer.plain = offer.plain || words.find(" PLAIN ") != std::string::npos ||
                      words.find("=PLAIN ") != std::string::npos;
        offer.login = offer.login || words.find(" LOGIN ") != std::string::npos ||
                      words.find("=LOGIN ") != std::string::npos;
        return false;
    });
    return offer;
}
