// The receiver's files: the record file (frames), the CSV file (one row per
// trap), the log file (reports, parse errors, worker lines) and the JSON lines
// file (one UTF-8 JSON object per trap per line, for log shippers).
//
// Each operation tests its file's switch (exactly 1 is on; otherwise it
// returns 0 at once), opens the file for appending, creating it but never a
// folder, writes one entry and closes the file. Returns 0 when written or
// switched off, -1 when the file cannot be opened. The CSV and log files get
// what Windows' text mode writes, wherever the receiver runs: every LF,
// a line end or one inside a trap's text, becomes CR LF. Each entry is built
// in memory and reaches its file in one write. The three log operations hold
// one process-wide lock around open, write and close, so entries written by
// worker threads never interleave.
//
// A FileBatch gathers the entries of several traps so that each file is
// opened, appended and closed once for all of them. While it lives, the five
// operations called on the thread that made it write nothing: they keep their
// entries in memory, per file and in order (also where two files are set to
// one path), and return 0 (a file that cannot be opened then loses the
// entries held for it, unreported, as a failed write loses one). write_held_file_entries() writes each file's held entries in
// one write, and so does the batch when it ends, and a file whose entries
// would no longer fit in memory. The operations on other threads (the mail
// and popup workers) still write at once. One batch per thread at a time.
#pragma once

#include <memory>

#include "common/mib_names.h"
#include "common/settings.h"
#include "common/trap_frame.h"
#include "common/trap_record.h"

class FileBatch {
public:
    FileBatch();
    ~FileBatch();
    FileBatch(const FileBatch&) = delete;
    FileBatch& operator=(const FileBatch&) = delete;

    struct Held;

private:
    std::unique_ptr<Held> held_;
};

// Writes the entries the calling thread's batch holds; nothing without a
// batch. Whoever lets another program read the files calls it first.
void write_held_file_entries();

int write_bin_file(const FileSetting& file, const TrapFrame& frame);
int write_csv_file(const FileSetting& file, const TrapRecord& trap);
// The log file's entry for a trap, which the console shows too: the report
// (trap_report.h) with "\n" line ends, names where `names` is given, and the
// empty line after it, in the calling thread's buffer, valid until the
// thread's next call.
const char* log_report_text(const TrapRecord& trap, const MibNames* names);
// `report` is log_report_text()'s entry for the trap.
int write_log_file(const FileSetting& file, const char* report);
inline int write_log_file(const FileSetting& file, const TrapRecord& trap, const MibNames* names = nullptr)
{
    return write_log_file(file, log_report_text(trap, names));
}
int write_error_log(const FileSetting& file, const TrapFrame& frame);
int write_log_line(const FileSetting& file, const char* text);

// One line of JSON for the trap, LF-ended: "time" (the frame's receive time,
// ISO 8601 UTC), "sender" (`sender`, the datagram's source address; null when
// empty), "agent", "version", "community" (or the SNMPv3 user), "enterprise",
// "generic", "specific", "uptime", and "bindings": {"oid", "type" (the
// report's name), "value", and "cut": true where the record holds a text cut}
// per binding, and "omitted" when bindings were left out. Texts are converted
// from CP932 to UTF-8 (a code CP932 does not assign becomes U+FFFD), with
// quotes, backslashes and control characters escaped (RFC 8259); numbers that
// their type holds are JSON numbers, a number shown in hex a text; a value of
// NULL or an exception is null.
int write_json_file(const FileSetting& file, const TrapRecord& trap, const TrapFrame& frame, const char* sender);
