// Which notifications a received trap gets, past the trap level: the rules
// (trap_rules.h, read from the settings store when the policy is made, once
// per start of the receive loop), the window of repeats ("dup_seconds") and
// the mail limit ("mail_max_per_minute").
//
// Repeats: a trap with the same sender address, identifier and bindings
// (names, types and values) as one that came less than "dup_seconds" ago is
// recorded and forwarded as ever, but sound, popup, program and mail do not
// run for it again. When the window of the first closes with repeats, one
// line "同じトラップを N 回受信しました" (N the repeats) goes to the console
// and the log file, and, when the first was mailed, one mail with the trap's
// report. 4096 windows are kept and 64 repeated traps; a trap that finds no
// room is notified as if it were new.
//
// Mail limit: past "mail_max_per_minute" mails in a minute of the clock, a
// trap's mail becomes one line (time, agent, notification name or
// identifier) of the minute's summary, mailed when the minute ends, when
// the summary reaches 1 MB, and at the stop.
//
// Only the receive loop's thread uses a policy. Nothing is allocated per
// trap (a summary's text is reserved when it starts).
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>

#include "common/mib_names.h"
#include "common/settings.h"
#include "common/trap_record.h"
#include "common/trap_rules.h"
#include "platform/sockets.h"

class AlertPolicy {
public:
    AlertPolicy(const ServiceSettings& settings, const MibNames* names, bool console);
    // Closes every window with repeats and sends the minute's summary.
    ~AlertPolicy();
    AlertPolicy(const AlertPolicy&) = delete;
    AlertPolicy& operator=(const AlertPolicy&) = delete;

    // kDrop, or the notifications (trap_rules.h bits) to run for the trap;
    // counts drops, repeats and summarised mails.
    std::uint32_t decide(const TrapRecord& record, const Endpoint& sender);
    // Closes the windows that ended and sends the summary of a minute that
    // ended: after every batch and every receive timeout.
    void tick();

    int rule_count() const;
    // The rules left out for a problem: "ルール N を使えません: WHY" each.
    int report_rule_problems() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};
