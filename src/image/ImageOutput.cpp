#include "ImageOutput.h"

#include <sys/stat.h>

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat x, y;
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

std::string ImageOutputClash(const std::string& image, const std::string& output, const char* kind)
{
    if (image.empty() || !SameFile(image, output))
        return {};
    return output + " is the image file being read; choose another file for the " + kind + ".";
}
