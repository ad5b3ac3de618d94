// A folder of the program's own state (write journals, logs, the instance
// lock and hand-over socket, the simulator's ports): unlike the operator's
// documents, nothing here is reached through a symbolic link, written into
// another user's file or read without a size limit. The folders are made
// with mode 0700 and must be owned by the user; every file is opened relative
// to the folder opened once, without following a link, and only a regular
// file owned by the user is read, written, replaced or removed. Anything else
// found in its place is left alone: the caller says once that its feature is
// off.
//
// Where the folders live: the state folder ($XDG_STATE_HOME/ORMID, else
// ~/.local/state/ORMID) survives a reboot; the runtime folder
// ($XDG_RUNTIME_DIR/ormid) does not. Without either variable a folder
// /tmp/ormid-UID is used, but only when it is the user's own, not a link;
// else the folder stays closed and Problem() says why.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class CStateFolder {
public:
    enum class Kind { State, Runtime };

    CStateFolder() = default;
    // The user's folder of that kind with the given sub-folders below it
    // ("journal", "ports", ...), made where missing.
    CStateFolder(Kind kind, const std::vector<std::string>& below);
    // An existing folder named by the caller: the user's own, and nobody
    // else may write into it (its mode is not changed).
    explicit CStateFolder(const std::string& path);
    ~CStateFolder();
    CStateFolder(const CStateFolder& other);
    CStateFolder& operator=(const CStateFolder& other);

    bool IsOpen() const { return m_fd >= 0; }
    // The folder's path with a trailing slash; empty when not open.
    const std::string& Path() const { return m_path; }
    // Why the folder could not be opened ("PATH: reason").
    const std::string& Problem() const { return m_problem; }

    // Opens name in the folder (O_CREAT allowed, new files 0600) without
    // following a link and without blocking; -1 with error set unless it is
    // a regular file owned by the user (EINVAL for anything else, EPERM for
    // another user's file).
    int OpenFile(const std::string& name, int flags, int& error) const;
    // Reads the whole file; EFBIG when larger than maxBytes, ENOENT when
    // there is none.
    bool Read(const std::string& name, std::string& text, size_t maxBytes, int& error) const;
    // Replaces name whole (a temporary file in the folder renamed over it);
    // a link, a folder, a FIFO or another user's file in its place is left
    // alone and gives EINVAL or EPERM.
    bool Replace(const std::string& name, const std::string& text, int& error) const;
    // Removes name when it is a regular file of the user's; false otherwise
    // (nothing there gives true).
    bool Remove(const std::string& name) const;
    // Whether something other than the user's regular file holds the name.
    bool IsForeign(const std::string& name) const;
    // The names in the folder (not "." and "..").
    std::vector<std::string> Names() const;

    // Where the user's folder of that kind is, whether it exists or not.
    static std::string Location(Kind kind, const std::vector<std::string>& below);

private:
    bool OpenBelow(int base, const std::string& basePath, const std::vector<std::string>& below, bool create);
    int CheckedStat(const std::string& name, bool& exists) const;

    int m_fd = -1;
    std::string m_path;
    std::string m_problem;
};
