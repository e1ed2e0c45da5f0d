// Reading the disc device in whole blocks.
#pragma once

#include <sys/types.h>

#include <cstddef>

// Reads from fd until size bytes are in the buffer or the data ends, so that a
// pipe or a drive that delivers less than asked at a time still fills it. The
// count read (size, or less when the data ended first), or -1 after a read
// error or a break.
ssize_t read_fully(int fd, char* buffer, std::size_t size);
