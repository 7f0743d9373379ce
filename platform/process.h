// Starts a program from a command line as Windows reads it: the first token,
// or a quoted path, names the program; nothing is added. The program gets the
// receiver's environment and folder, no window, no inherited handles, and
// may outlive the receiver. start_program() waits until the program is idle
// (at most 30 seconds) on Windows, and not at all elsewhere. False when the
// program cannot be started.
#pragma once

#include <string>
#include <vector>

bool start_program(const char* command_line);

// The arguments of a command line by the Windows rules (the program name up to
// a blank, or between quotes; then arguments where 2n backslashes and a quote
// give n backslashes and toggle quoting, 2n+1 give n and a literal quote).
std::vector<std::string> split_command_line(const char* command_line);

// Gives the calling thread a lower priority than the program's other threads,
// so that it runs on what they leave of the processor (a worker that must not
// slow the receive loop). Nothing happens where the system refuses.
void lower_thread_priority();
