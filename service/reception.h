// Who may send, and what a datagram stands for: the step between receiving a
// datagram and recording it. A v1 trap is taken as it is; a v2c or v3
// notification is translated into the v1 trap frame it stands for; a v3
// message goes through the user-based security model first, its inform
// answered at its own level and engine discovery answered with a report.
// The community list ("communities") and the switch "f_v3only" decide which
// v1 and v2c messages are taken. Every message dropped for who sent it
// writes one log line with the reason and the sender; a datagram that is no
// notification is left to the caller's parse-error log.
//
// Users and the receiver's engine are read when it is made (once per start
// of the receive loop, which counts snmpEngineBoots up). Nothing is
// allocated per datagram once a user's keys for an engine are cached.
#pragma once

#include <memory>

#include "common/settings.h"
#include "common/trap_frame.h"
#include "common/trap_record.h"
#include "platform/sockets.h"

class Reception {
public:
    enum class Outcome { Trap, Dropped, NotATrap };

    explicit Reception(const ServiceSettings& settings);
    ~Reception();
    Reception(const Reception&) = delete;
    Reception& operator=(const Reception&) = delete;

    // The datagram in `frame` (whole, stamped) from `sender`: for Trap, the
    // frame to record (`frame` itself, or `translated`) in `trap`, decoded
    // into `record`, and its inform answered through `replies`.
    Outcome take(TrapFrame& frame, const Endpoint& sender, UdpSocket& replies, TrapFrame& translated,
                 TrapRecord& record, TrapFrame*& trap);

    struct State;

private:
    const ServiceSettings& settings_;
    std::unique_ptr<State> state_;
};
