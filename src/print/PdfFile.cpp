#include "PdfFile.h"

#include <QPrinter>

#include <cerrno>
#include <cstdlib>

#include <unistd.h>

#include "CAtomicFile.h"
#include "SafeFile.h"

namespace {

// A PDF document that Qt finished ends with its end-of-file mark; a full disk
// cuts it short without Qt saying so.
bool ReadCompletePdf(const std::string& path, std::string& bytes, int& error)
{
    if (!ReadRegularFile(path, bytes, size_t(1) << 30, error))
        return false;
    const size_t end = bytes.find_last_not_of(" \r\n");
    if (end != std::string::npos && end >= 4 && bytes.compare(end - 4, 5, "%%EOF") == 0)
        return true;
    error = ENOSPC;
    return false;
}

}  // namespace

PrintResult PrintToPdfFile(QPrinter& printer, const std::string& target, const PdfFileError& fileError,
                           const std::function<PrintResult(QPrinter&)>& print)
{
    const std::string notWritten = "The file " + target + " could not be written. Nothing was printed.";
    CAtomicFile out;
    if (!out.Open(target.c_str(), 0)) {
        fileError(notWritten, target, out.Error());
        return kPrintNotStarted;
    }
    // A target written in place (more than one link, a folder that takes no
    // new files) is drawn in the scratch folder first.
    std::string scratch = out.WorkPath();
    if (out.WritesInPlace()) {
        const char* tmp = std::getenv("TMPDIR");
        scratch = std::string(tmp && *tmp ? tmp : "/tmp") + "/ormid-print-XXXXXX";
        const int fd = ::mkstemp(&scratch[0]);
        if (fd < 0) {
            fileError(notWritten, scratch, errno);
            return kPrintNotStarted;
        }
        ::close(fd);
    }
    printer.setOutputFileName(QString::fromLocal8Bit(scratch.c_str()));
    PrintResult result = print(printer);
    std::string bytes;
    int error = 0;
    if (result == kPrintDone && !ReadCompletePdf(scratch, bytes, error)) {
        fileError(notWritten, target, error);
        result = kPrintNotFinished;
    }
    if (result == kPrintDone && out.WritesInPlace() &&
        !(out.Reserve(bytes.size()) && out.Write(bytes.data(), bytes.size())))
        result = kPrintNotFinished;
    if (result == kPrintDone && !out.Commit())
        result = kPrintNotFinished;
    if (result == kPrintNotFinished && out.Error())
        fileError(notWritten, target, out.Error());
    if (out.WritesInPlace())
        ::unlink(scratch.c_str());
    out.Abort();
    return result;
}
