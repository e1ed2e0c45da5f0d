// The front end's one way of reporting a failure.
#pragma once

#include <cstdarg>
#include <string>

// Writes the printf-style message to standard error and returns 0, so that a
// failing function can report and fail in one step: `return error(...);`.
// The message is written whole, whatever the length of the names in it. On a
// terminal every byte that could control it is shown as terminal_text shows
// it (see output.h), but for the message's line feeds: the names in messages
// come from the command line, from sheets and playlists and from the folders
// they name. Once a break has come nothing more is reported: what fails then
// fails because of the break, and the break sequence is what the user is shown.
[[gnu::format(printf, 1, 2)]] int error(const char* format, ...);

// The printf-style text, whole.
[[gnu::format(printf, 1, 0)]] std::string message_text(const char* format, std::va_list args);
