#include "DebugTrace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

bool DebugTraceOn()
{
    const char* trace = getenv("ORMID_TRACE");
    return trace && *trace && strcmp(trace, "0") != 0;
}

void DebugTrace(const char* format, ...)
{
    if (!DebugTraceOn())
        return;
    char text[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text, sizeof text - 1, format, args);
    va_end(args);
    if (n < 0)
        return;
    size_t len = strnlen(text, sizeof text - 2);
    while (len > 0 && (text[len - 1] == '\n' || text[len - 1] == '\r'))
        --len;
    text[len++] = '\n';
    // One write call, so that lines of two threads do not interleave.
    ssize_t ignored = write(STDERR_FILENO, text, len);
    (void)ignored;
}
