#include "CInPlaceBackup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "CStateFolder.h"
#include "SafeFile.h"

namespace {

// Image files are 4 MB; a backup larger than this is not one of ours.
constexpr size_t kLargestBackup = size_t(256) << 20;

CStateFolder BackupFolder()
{
    return CStateFolder(CStateFolder::Kind::State, {"in-place"});
}

std::string NameOf(const struct stat& info)
{
    return std::to_string(uint64_t(info.st_dev)) + "-" + std::to_string(uint64_t(info.st_ino));
}

bool PutBack(int fd, const std::string& old)
{
    for (size_t done = 0; done < old.size();) {
        const ssize_t n = ::pwrite(fd, old.data() + done, old.size() - done, off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return ::ftruncate(fd, off_t(old.size())) == 0 && ::fsync(fd) == 0;
}

}  // namespace

bool CInPlaceBackup::Keep(int fd, const std::string& old)
{
    struct stat info;
    const CStateFolder folder = BackupFolder();
    int error = 0;
    if (::fstat(fd, &info) != 0 || !folder.IsOpen())
        return false;
    // Replace writes a temporary file and renames it: a backup under its
    // name is always complete.
    if (!folder.Replace(NameOf(info), old, error))
        return false;
    m_name = NameOf(info);
    return true;
}

void CInPlaceBackup::Drop()
{
    if (m_name.empty())
        return;
    BackupFolder().Remove(m_name);
    m_name.clear();
}

bool CInPlaceBackup::Recover(const std::string& path, std::string& note)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const std::string name = CStateFolder::Location(CStateFolder::Kind::State, {"in-place"}) + NameOf(info);
    if (::access(name.c_str(), F_OK) != 0)
        return false;  // the usual case: nothing to do, and no folder made for it
    const CStateFolder folder = BackupFolder();
    std::string old;
    int error = 0;
    if (!folder.Read(NameOf(info), old, kLargestBackup, error))
        return false;
    const int fd = OpenRegularFile(path.c_str(), O_RDWR, error);
    const bool back = fd >= 0 && PutBack(fd, old);
    if (fd >= 0) {
        if (!back)
            error = errno;
        ::close(fd);
    }
    if (!back) {
        note =
            WithFileError("A save of this file was cut off, and its old content could not be put back.", path, error);
        return false;
    }
    folder.Remove(NameOf(info));
    note = "A save of " + path + " was cut off before it ended; the file holds what it held before that save.";
    return true;
}
