// The bare client's side of the benchmarks: reading an answer straight from the line.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

// Reads exactly n bytes from fd; false when 2 s pass without a byte or the line ends.
inline bool ReadExactly(int fd, uint8_t* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0) return false;
        const ssize_t r = read(fd, buf + got, n - got);
        if (r <= 0) return false;
        got += size_t(r);
    }
    return true;
}
