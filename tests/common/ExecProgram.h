// In a forked child: replaces the process by one of the programs in the
// program folder with the given arguments. Never returns; exit code 127 when
// the program cannot be started.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

[[noreturn]] inline void ExecProgram(const char* name, const std::vector<std::string>& args)
{
    const std::string path = std::string(ORMID_BIN_DIR) + "/" + name;
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    _exit(127);
}
