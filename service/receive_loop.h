// The receive loop: loads the settings, binds UDP port 162 and an ephemeral
// send socket, prints the banner, then for every datagram: stop at the
// process's own wake-up datagram, hex dump to standard output, stamp and decode, forward
// the frame to port 18882 of "localhost" and to the managers of
// "forward_hosts" (host or host:port, port 18882 when none is given; the
// names looked up when the loop starts, one that does not resolve again at
// most once a minute), print the report, run the notifications. What a datagram stands for and who may send it is the
// Reception's to decide (reception.h): with "f_v2c" on, an SNMPv2c
// notification is translated to the SNMPv1 trap frame that is forwarded and
// recorded, an SNMPv3 one likewise once its user's security lets it in, and
// an inform is answered once it is decoded (one that cannot be is left
// unanswered, so its agent sends it again). A message turned away for who
// sent it leaves one log line; a datagram that is not a trap, or is longer
// than the 4096-byte buffer, only goes to the parse-error log. The service roles ask
// for no per-datagram output: no banner, dumps or reports on standard output.
//
// Datagrams that arrive together are taken together: each receive waits for
// one datagram and takes up to 63 more already queued behind it (never
// waiting for them), and handles them one by one in arrival order. The
// batch's file entries, console text and forwards are held in memory and go
// out once for the whole batch, before the loop waits again, and also before
// a trap's beep or program start holds the loop up (the file entries before
// any program is started): standard output first, then the files, then the
// forwards. At the wake-up datagram the traps before it are
// handled and delivered, those after it are not. The trap socket asks for a
// receive buffer of 4 MiB, so that a burst waits there meanwhile.
//
// run_receive_loop() returns 1 when a socket cannot be set up, 0 when the loop
// ends (wake-up datagram, request_stop(), or a receive failure that leaves the socket
// unusable). Call it on one thread at a time.
#pragma once

#include <cstdint>

constexpr std::uint16_t kTrapPort = 162;
constexpr std::uint8_t kStopMarker = 0x7F;

// The two banner lines, also printed by "-version".
extern const char kBanner[];

enum class TrapOutput { Console, None };
int run_receive_loop(TrapOutput output = TrapOutput::Console);

// Asks the loop to end, from any thread: sends the wake-up datagram (0x7F
// and a token of 16 random bytes that only this process knows, made once per
// process) to port 162 of 127.0.0.1, at which the loop ends after the
// datagrams queued before it; a datagram from another process or host is
// never taken for it. It also
// sets a flag that ends the loop should that datagram be lost (a trap flood
// that fills the socket drops it): once no datagram has come for half a
// second, or once the loop has received as many datagrams after the request
// as its socket can hold. The request holds for the rest of the process.
void request_stop();

// The flag alone, without the datagram: safe in a signal handler. The loop
// then ends once no datagram has come for half a second.
void note_stop_request();
