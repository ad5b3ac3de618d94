#include "CQuietStderr.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Standard error belongs to the whole process: while one of these is alive,
// nothing any thread writes there is seen. They are taken one at a time, so
// that two threads cannot save and restore each other's /dev/null and leave
// the process without its standard error for good.
std::mutex g_stderrLock;

}  // namespace

std::mutex& StderrLock()
{
    return g_stderrLock;
}

CQuietStderr::CQuietStderr() : m_hold(g_stderrLock)
{
    fflush(stderr);
    m_saved = dup(STDERR_FILENO);
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (m_saved >= 0 && null >= 0)
        dup2(null, STDERR_FILENO);
    if (null >= 0)
        close(null);
}

CQuietStderr::~CQuietStderr()
{
    if (m_saved >= 0) {
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
    }
}
