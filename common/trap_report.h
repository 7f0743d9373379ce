// The labelled trap report and the hex dump, the texts a person reads on the
// console, in the log file, in the mail body and in the detail dialog.
//
// Texts from the datagram are shown so that none of them can pass for a line
// of the report: a line break inside one continues it on a line indented
// under its first character, deeper than the report's own lines, and other
// control characters (TAB aside) show as "\x07". A text the record holds cut
// ends in "…(以下省略)", and the bindings after the tenth are counted in a
// last line "(以下 N 件のトラップ情報は省略)".
//
// write_trap_report() writes the report with `eol` line ends ("\n" unless
// told) and one empty line after it; in a text-mode stream "\n" becomes the
// platform's line end. Files that must be the same on every platform are
// opened in binary mode and given "\r\n".
// format_trap_report() appends the same lines with `eol` line ends ("\r\n"
// unless told; at most two characters) and no empty line at the end of the
// text already in `buffer` (it must hold a NUL-terminated text); it never
// writes past `size` bytes, cutting the last line if it must.
// With `names`, the report also shows names from MIB modules: after every
// identifier it holds whole (the enterprise, each binding's name, a value of
// type OBJECT IDENTIFIER) " (name)" where one is known; after an INTEGER
// value " (label)" of its object's enumeration, after a BITS value its set
// bits' labels, and after an OCTET STRING or INTEGER value whose object has a
// DISPLAY-HINT (or is an InetAddress) " (form)" where that differs from the
// plain text (a value the record holds cut gets none); and after the time
// stamp the line "トラップ名: " with the notification's name when it has one.
// These texts wrap as the datagram's texts do. Null names: the report as it
// always was.
// write_hex_dump() writes nothing when `stream` is null; flushing the stream
// is the caller's. Write errors are not detected.
#pragma once

#include <cstddef>
#include <cstdio>

#include "common/mib_names.h"
#include "common/trap_record.h"

// Holds the longest report: ten bindings whose names and values are
// identifiers of 128 arcs, each followed by the longest name that is shown
// (one that fits 2056 bytes), need less than 90000 bytes.
constexpr std::size_t kReportBufferSize = 131072;

void write_trap_report(const TrapRecord& record, std::FILE* stream, const char* eol = "\n",
                       const MibNames* names = nullptr);
void format_trap_report(char* buffer, std::size_t size, const TrapRecord& record, const char* eol = "\r\n",
                        const MibNames* names = nullptr);
void write_hex_dump(const void* bytes, std::size_t count, std::FILE* stream, const char* eol = "\n");

// The same dump into `buffer`, NUL-terminated; returns its length. `eol` is
// "\n" or "\r\n". A buffer of hex_dump_size(count) bytes holds it whole;
// a smaller one gets the lines that fit.
std::size_t format_hex_dump(char* buffer, std::size_t size, const void* bytes, std::size_t count, const char* eol);
constexpr std::size_t hex_dump_size(std::size_t count) { return (count + 15) / 16 * 81 + 3; }
