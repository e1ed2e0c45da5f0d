// ruvo's standard output. Every write is checked, so that lost output is
// reported instead of counted as a run that went through, and text that comes
// from the disc or from a file cannot take control of the user's terminal.
//
// Text is gathered in a buffer and written in whole lines: on a terminal as
// each line ends, else at flush_output and when the buffer grows large. A
// break interrupts a write that waits on a blocked output (a full pipe, a
// terminal stopped with Control-S); what has not gone out stays buffered for
// the end of the run, so that what was written never ends inside a line.
#pragma once

#include <string>
#include <string_view>

// Writes to standard output through the buffer. A failure is remembered with
// its cause; flush_output tells of it.
void put_text(std::string_view text);
[[gnu::format(printf, 1, 2)]] void put_format(const char* format, ...);

// Writes bytes taken from the disc. To a file or a pipe they go out exactly as
// they are; on a terminal as terminal_text shows them.
void put_disc_text(std::string_view bytes);

// The bytes with every byte that could control a terminal (0x00 to 0x1F, 0x7F
// and 0x80 to 0x9F) shown as \xHH, two upper-case hexadecimal digits, but for
// line feeds when `keep_line_feeds`.
std::string terminal_text(std::string_view bytes, bool keep_line_feeds = false);

// Sends out what is buffered. 1 when everything written so far has gone out,
// else 0: the first time after a failed write, after the message that names
// the cause; after a break, with the rest kept for flush_last_output.
int flush_output();

// The run's last write: sends out what is buffered. After a break it waits
// for a blocked output only as long as output_may_wait (see breaks.h). 1 when
// everything has gone out, 0 as flush_output fails, -1 when the time ran out.
int flush_last_output();
