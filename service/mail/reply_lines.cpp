#include "service/mail/reply_lines.h"

namespace {

Verdict judge_line(const char* head, std::size_t length)
{
    if (length < 4) return Verdict::Undecided;
    for (std::size_t i = 0; i < 3; ++i) {
        if (head[i] < '0' || head[i] > '9') return Verdict::Undecided;
    }
    const char fourth = head[3];
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
