// Replacing a file so that a failure leaves the old one byte for byte: the new
// content goes to a temporary file beside the target, which is renamed over it
// once complete (and flushed to the disk first), keeping the old file's mode,
// owner, group, access list and user.* extended attributes where allowed. A
// symbolic link is followed: what it points to is replaced, the link stays.
// Only a regular file is ever replaced: a folder, a device or a FIFO is
// refused.
//
// The temporary file is named TARGET.PID.N.tmp (or .ormid.PID.N.tmp in the
// same folder for a name near the system's limit). A run that is killed
// leaves it behind; the next replace in that folder removes those whose
// process no longer runs.
//
// Where the folder refuses a temporary file, or the target has more than one
// link (a rename would split the links), the target is written in place
// instead: the whole size is reserved first, so a full disk is found before
// the first byte of the old content is touched. The new content is gathered
// in memory and copied into the target only once complete, with the old
// content kept beside it until the copy has reached the disk: a copy that
// fails part-way (a size limit, an I/O error) puts the old bytes back, so the
// file never holds part of each. For a program killed during the copy the old
// bytes are also kept in the state folder (CInPlaceBackup) until the copy is
// on the disk; the image files' next reader puts them back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CAtomicFile {
public:
    CAtomicFile() = default;
    ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Starts writing `size` bytes to path. False when the target cannot be
    // written at all (a folder, a device or FIFO, no permission, a missing
    // folder); nothing is changed then and Error() tells why.
    bool Open(const char* path, uint64_t size);
    // Appends bytes; false (and Error()) on a failure of the file system,
    // such as too little room for an in-place write.
    bool Write(const void* data, size_t length);
    // Makes the new content the file's; false (and Error()) when that failed,
    // in which case the old file is as it was.
    bool Commit();
    // Drops what was written; the old file stays.
    void Abort();
    // For content whose size was not known at Open: room for size bytes in
    // all, reserved before an in-place write overwrites anything.
    bool Reserve(uint64_t size);

    // Whether path could take size bytes now: it can be written (or made in
    // its folder) and the folder's file system has the room. False with the
    // reason in error (ENOSPC when the room is missing).
    static bool HasRoomFor(const char* path, uint64_t size, int& error);
    // Gives a file a new name in the same file system (an existing regular
    // file of that name is replaced). False with the reason in error; a
    // folder, device or FIFO is never replaced.
    static bool Move(const char* from, const char* to, int& error);

    int Error() const { return m_error; }
    bool WritesInPlace() const { return m_inPlace; }
    // The file that is being written (the temporary one, or the target).
    const std::string& WorkPath() const { return m_inPlace ? m_target : m_temp; }

private:
    bool OpenInPlace();
    bool CopyInPlace();
    void RestoreInPlace(const std::string& old);
    static void RemoveStaleTemporaries(const std::string& folder, const std::string& name);
    void Fail(int error);

    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
    // Written in place: the target itself (m_fd gathers the new content).
    int m_targetFd = -1;
    uint64_t m_oldSize = 0;
    int m_error = 0;
    bool m_inPlace = false;
    uint64_t m_size = 0;
    uint64_t m_written = 0;
    uint64_t m_reserved = 0;
};
