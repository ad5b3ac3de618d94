#include "CliImage.h"

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

std::string NameFromPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    return file.substr(0, cMemoryMap::kNameSize - 1);
}
