// The receiver's three files: the record file (frames), the CSV file (one row
// per trap) and the log file (reports, parse errors, worker lines).
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
#pragma once

#include "common/settings.h"
#include "common/trap_frame.h"
#include "common/trap_record.h"

int write_bin_file(const FileSetting& file, const TrapFrame& frame);
int write_csv_file(const FileSetting& file, const TrapRecord& trap);
int write_log_file(const FileSetting& file, const TrapRecord& trap);
int write_error_log(const FileSetting& file, const TrapFrame& frame);
int write_log_line(const FileSetting& file, const char* text);
