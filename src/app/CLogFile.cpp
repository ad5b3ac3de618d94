// Placeholder until the log lands: everything is accepted and nothing written.
#include "CLogFile.h"

bool CLogFile::Open(const char*) { return true; }
void CLogFile::Write(const char*, ...) {}
void CLogFile::Close() {}
bool CLogFile::IsOpen() const { return false; }

CLogFile& TheLog()
{
    static CLogFile log;
    return log;
}

std::string GetOsDescription() { return std::string(); }
