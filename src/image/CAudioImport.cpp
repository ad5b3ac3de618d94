#include "CAudioImport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CAtomicFile.h"
#include "CNamingReport.h"
#include "cMemoryMap.h"

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

}  // namespace

CAudioImport::~CAudioImport()
{
    RemoveTemp();
}

void CAudioImport::RemoveTemp()
{
    if (!m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
}

bool CAudioImport::Examine(const char* path, CConvertControl* control)
{
    RemoveTemp();
    m_path = path ? path : "";
    m_failure.clear();
    m_info = CAudioFileInfo{};
    m_decodable = CAudioConverter::Probe(m_path.c_str(), m_info, control);
    return m_decodable && !m_info.unitFormat;
}

std::string CAudioImport::QuestionText(const char* action) const
{
    return Format("The file is %d Hz, %d-bit, %d channel(s).\n"
                  "Convert it to the unit's format (8 kHz mu-law, mono) and %s it?",
                  m_info.sampleRate, m_info.bitsPerSample, m_info.channels, action);
}

CAudioImport::Outcome CAudioImport::Convert(uint32_t maxSamples, CConvertControl* control)
{
    RemoveTemp();
    m_failure.clear();
    std::vector<uint8_t> muLaw;
    // A file that no decoder opens goes to the normal import, which refuses
    // it with its own messages; one that a decoder opened but could not read
    // to its end is refused with the decoder's reason.
    if (!m_decodable)
        return kAsIs;
    if (!m_converter.Convert(m_path.c_str(), std::min(maxSamples, kWholeFile), muLaw, control)) {
        if (m_converter.Stopped())
            return kDeclined;
        SetFailure("The audio file could not be read.", m_path, m_converter.ErrorText());
        return kFailed;
    }

    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/ormid-import-XXXXXX.wav";
    const int fd = ::mkstemps(&name[0], 4);
    std::string error = std::strerror(errno);
    if (fd >= 0) {
        ::close(fd);
        // The name is ours; the unit's WAV writer fills it.
        if (SaveUnitWav(name.c_str(), muLaw, error)) {
            m_tempPath = name;
            return kConverted;
        }
        ::unlink(name.c_str());
    }
    SetFailure("Could not write the converted audio to " + name + ".", name, error);
    return kFailed;
}

CAudioImport::Outcome CAudioImport::Prepare(const char* path, const Question& ask, IOperatorReport& report,
                                            uint32_t maxSamples, const char* action)
{
    if (!Examine(path))
        return kAsIs;
    if (!ask || !ask(QuestionText(action)))
        return kDeclined;
    const Outcome outcome = Convert(maxSamples);
    if (outcome == kFailed)
        ShowFailure(report);
    return outcome;
}

void CAudioImport::SetFailure(const std::string& text, const std::string& path, const std::string& reason)
{
    m_failure = text + "\n" + path + ": " + reason;
    m_failureText = text;
    m_failurePath = path;
    m_failureReason = reason;
}

void CAudioImport::ShowFailure(IOperatorReport& report) const
{
    report.ShowFileProblem(m_failureText, m_failurePath, m_failureReason);
}

bool CAudioImport::ImportIntoSlot(cMemoryMap& map, uint8_t slot, IOperatorReport& report) const
{
    CNamingReport naming(report, m_tempPath, m_path);
    return map.ImportSlotWav(slot, ImportPath().c_str(), naming);
}

bool CAudioImport::SaveUnitWav(const char* path, const std::vector<uint8_t>& muLaw, std::string& error)
{
    error.clear();
    if (!path || !*path) {
        error = "no file name";
        return false;
    }
    if (muLaw.size() > kWholeFile) {
        error = "too long for a WAV file";
        return false;
    }
    // Replaced only once complete, keeping the old file's owner, mode and
    // links; never a FIFO, a device or a folder.
    uint8_t header[cMemoryMap::kWavHeaderSize];
    cMemoryMap::BuildWavHeader(uint32_t(muLaw.size()), header);
    CAtomicFile file;
    if (file.Open(path, sizeof header + muLaw.size()) && file.Write(header, sizeof header) &&
        file.Write(muLaw.data(), muLaw.size()) && file.Commit())
        return true;
    error = std::strerror(file.Error());
    file.Abort();
    return false;
}
