// The text routines for the disc header's fields, which are fixed-width and
// carry no terminator.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The text without its trailing spaces (code 32 only). The text ends at its
// first zero byte, looked for only among the first `room` bytes, or after them.
// Nothing is written: the bytes after the shown text stay as they were read.
std::string_view fmttitle(const char* text, std::size_t room);

// The first of the n bytes at start that equals c (a zero byte does not end the
// search), or nullptr.
const char* strnchr(const char* start, int c, int n);

// "Nov 5, 1995" from the eight characters "19951105"; "???" for a month
// outside 1 to 12.
std::string strdate(const char* date);
