// Scratch files and folders that a killed run of the program left behind:
// their names carry the process id of the run that made them, and they are
// removed once that process no longer runs.
#pragma once

#include <string>

// True when no process with the id runs (a process of another user runs).
bool IsProcessGone(long pid);

// The id in a name that starts with prefix and goes on with digits ending at
// stop (or at the end of the name when stop is 0); 0 when it does not.
long PidInName(const std::string& name, const std::string& prefix, char stop);

// Removes every folder in parent named prefix + PID + "-..." whose process
// is gone, with what it holds.
void RemoveStaleFolders(const std::string& parent, const std::string& prefix);
