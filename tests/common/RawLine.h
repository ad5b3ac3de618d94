// Bytes straight onto a serial line, as another program (or a write killed
// half-way) would leave them: opened raw at the given rate, 8N1, written,
// waited for until they have left, closed.
#pragma once

#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

inline bool SendRaw(const std::string& port, const std::string& bytes, speed_t speed = B115200)
{
    const int fd = open(port.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return false;
    termios tio{};
    bool ok = tcgetattr(fd, &tio) == 0;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ok = ok && cfsetspeed(&tio, speed) == 0 && tcsetattr(fd, TCSANOW, &tio) == 0;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        ok = n > 0;
        done += ok ? size_t(n) : 0;
    }
    ok = ok && tcdrain(fd) == 0;
    close(fd);
    return ok;
}
