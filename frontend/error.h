// The front end's one way of reporting a failure.
#pragma once

// Writes the printf-style message to standard error and returns 0, so that a
// failing function can report and fail in one step: `return error(...);`.
// A message longer than 1023 characters is cut there.
[[gnu::format(printf, 1, 2)]] int error(const char* format, ...);
