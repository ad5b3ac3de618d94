#include "FuzzScratch.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FuzzScratch& FuzzScratch::Instance()
{
    static FuzzScratch scratch;
    return scratch;
}

FuzzScratch::FuzzScratch()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base && *base ? base : "/tmp") + "/ormid-fuzz-" + std::to_string(getpid()) + "-XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        std::perror("ormid fuzz: cannot make a temporary folder");
        std::abort();
    }
    m_folder = pattern;
}

FuzzScratch::~FuzzScratch()
{
    // Only the files the runs made: the folder holds nothing else.
    if (DIR* dir = opendir(m_folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                ::unlink((m_folder + "/" + entry->d_name).c_str());
        }
        closedir(dir);
    }
    ::rmdir(m_folder.c_str());
}

bool FuzzScratch::WriteFile(const char* name, const void* data, size_t size) const
{
    const int fd = ::open(Path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const auto* p = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    return ::close(fd) == 0 && done == size;
}

bool FuzzScratch::ReadFile(const char* name, std::string& bytes) const
{
    bytes.clear();
    FILE* f = std::fopen(Path(name).c_str(), "rb");
    if (!f)
        return false;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

void FuzzScratch::Remove(const char* name) const
{
    ::unlink(Path(name).c_str());
}
