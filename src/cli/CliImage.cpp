#include "CliImage.h"

#include "ImageOutput.h"
#include "CliStdio.h"

#include <cerrno>
#include <cstdio>

#include <sys/stat.h>

#include "CImageDocument.h"
#include "CliConvertLog.h"
#include "CliRegistry.h"
#include "CliReport.h"
#include "SafeFile.h"
#include "UnitName.h"

CLI::Option* AddImageArgument(CLI::App& command, std::string& path)
{
    return command.add_option("IMAGE", path, "image file (.txi)")->required();
}

CLI::Option* AddSlotArgument(CLI::App& command, int& slot)
{
    return command.add_option("SLOT", slot, "message slot, 1-8")->required()->check(CLI::Range(1, 8));
}

CLI::Option* AddCountOption(CLI::App& command, int& count)
{
    return command.add_option("-c,--count", count, "times the unit plays the message, 0 = continuously")
        ->check(CLI::Range(0, 255));
}

bool CheckNameArgument(const std::string& utf8, IOperatorReport& report)
{
    if (!UnitNameFromUtf8(utf8, utf8.size()).control)
        return true;
    report.ShowMessage("A message name cannot hold control characters such as tab or newline.");
    return false;
}

bool MayReplace(const std::string& path, bool force, IOperatorReport& report)
{
    struct stat info;
    if (force || ::lstat(path.c_str(), &info) != 0)
        return true;
    if (CliReport::AssumeYes())
        return report.AskYesNo(path + " already exists. Replace it?");
    report.ShowMessage(path + " already exists; use --force to replace it.");
    return false;
}

bool MayReplaceRegular(const std::string& path, bool force, IOperatorReport& report)
{
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        report.ShowFileError("", path, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
        return false;
    }
    return MayReplace(path, force, report);
}

bool IsNotTheImage(const std::string& image, const std::string& output, const char* kind, IOperatorReport& report)
{
    const std::string clash = ImageOutputClash(image, output, kind);
    if (clash.empty())
        return true;
    report.ShowMessage(clash);
    return false;
}

bool FlushOutput(IOperatorReport& report)
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    report.ShowMessage("Could not write the output: " + SystemErrorText(errno));
    return false;
}

bool ReadImageShared(const std::string& path, cMemoryMap& map, IOperatorReport& report)
{
    std::string file = path;
    return TheStdio().TakeInput(file, report) && CImageDocument::ReadShared(file, map, report);
}

bool IsNamedImage(const std::string& path, IOperatorReport& report)
{
    if (!CliStdio::Is(path))
        return true;
    report.ShowMessage("ormid-cli: an image read from standard input (-) cannot be changed; name its file.");
    return false;
}

int ChangeImage(const std::string& path, IOperatorReport& report,
                const std::function<bool(CImageCommands& commands)>& change)
{
    if (!IsNamedImage(path, report))
        return kCliUsage;
    const bool written = CImageDocument::Change(path, report, [&](cMemoryMap& map) {
        CImageCommands commands(map, report);
        commands.m_onConverted = WriteConversionLog;
        return change(commands);
    });
    return written ? kCliOk : kCliFailed;
}
