// The front end's one way of reporting a failure.
#pragma once

#include <cstdarg>
#include <string>

// Writes the printf-style message to standard error and returns 0, so that a
// failing function can report and fail in one step: `return error(...);`.
// Once a break has come nothing more is reported: what fails then fails
// because of the break, and the break sequence is what the user is shown.
[[gnu::format(printf, 1, 2)]] int error(const char* format, ...);

// The printf-style text of a message, cut at message_limit characters (a
// very long device path does not overrun anything).
[[gnu::format(printf, 1, 0)]] std::string message_text(const char* format, std::va_list args);
inline constexpr std::size_t message_limit = 1023;
