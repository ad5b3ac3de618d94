// The old content of a file that is being written in place, kept in the
// program's state folder ("in-place", named after the file's device and
// inode) until the new content has reached the disk. A program killed in the
// middle of the copy leaves the backup behind: the next program to open that
// file under its lock (Recover) puts the old content back, so nobody ever
// reads a file that holds part of each.
#pragma once

#include <string>

class CInPlaceBackup {
public:
    CInPlaceBackup() = default;
    ~CInPlaceBackup() { Drop(); }
    CInPlaceBackup(const CInPlaceBackup&) = delete;
    CInPlaceBackup& operator=(const CInPlaceBackup&) = delete;

    // Keeps old as the backup of the file open as fd; false when it could
    // not be kept (no state folder, no room): the copy then has only the
    // copy in memory to go back to.
    bool Keep(int fd, const std::string& old);
    // The new content is on the disk (or the old one is back): the backup goes.
    void Drop();

    // Puts a backup left for path back into it. True when it did, with what
    // happened in note for the operator.
    static bool Recover(const std::string& path, std::string& note);

private:
    std::string m_name;
};
