// The names from MIB modules that the receiver's reports use: the console's,
// the log file's, the mail bodies' and the syslog messages'.
//
// load_mib_names_in_use() is called once at each start of the receive loop,
// before any worker of that loop starts: with "f_mibnames" 1 it reads the
// modules of "mibdirs" (the platform's default folders when empty) and keeps
// the names; otherwise it keeps none. It returns the modules that did not
// load whole; report_mib_problems() writes each one's line to standard
// output (when `console`) and as one line to the log file (when it is on).
//
// mib_names_in_use() gives the names kept, null when there are none. Only the
// receive loop's thread calls these; a worker that may outlive the loop
// holds a copy of the pointer, which keeps its names alive, and reads them
// from its own thread (a MibNames is only read once built). The loop's own
// reports take the raw pointer, so no datagram costs a reference count.
#pragma once

#include <memory>
#include <vector>

#include "common/mib_names.h"
#include "common/settings.h"

std::vector<MibProblem> load_mib_names_in_use(const ServiceSettings& settings);
void report_mib_problems(const ServiceSettings& settings, const std::vector<MibProblem>& problems, bool console);
const std::shared_ptr<const MibNames>& mib_names_in_use();
