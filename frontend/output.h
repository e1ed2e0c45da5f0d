// ruvo's standard output. Every write is checked, so that lost output is
// reported instead of counted as a run that went through, and text that comes
// from the disc cannot take control of the user's terminal.
#pragma once

#include <string_view>

// Writes to standard output through its buffer. A failure is remembered with
// its cause; flush_output tells of it.
void put_text(std::string_view text);
[[gnu::format(printf, 1, 2)]] void put_format(const char* format, ...);

// Writes bytes taken from the disc. To a file or a pipe they go out exactly as
// they are; on a terminal every byte that could control it (0x00 to 0x1F, 0x7F
// and 0x80 to 0x9F) is shown as \xHH, two upper-case hexadecimal digits.
void put_disc_text(std::string_view bytes);

// Sends out what is buffered. 1 when everything written so far has gone out,
// else 0; the first time, after the message that names the cause.
int flush_output();
