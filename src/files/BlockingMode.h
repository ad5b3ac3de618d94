// A file opened with O_NONBLOCK (so that a FIFO in its place cannot hang the
// open) is read and written blocking once it is known to be a regular file.
#pragma once

#include <fcntl.h>

inline void MakeBlocking(int fd)
{
    const int status = ::fcntl(fd, F_GETFL);
    if (status != -1)
        (void)::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
}
