#include "FileList.h"

#include <cctype>
#include <cstring>

bool NextListItem(const char*& pos, std::string& item)
{
    if (!pos || !*pos)
        return false;
    const char* end = strchr(pos, '*');
    const char* stop = end ? end : pos + strlen(pos);
    const char* b = pos;
    const char* e = stop;
    while (b < e && isspace(static_cast<unsigned char>(*b)))
        ++b;
    while (e > b && isspace(static_cast<unsigned char>(e[-1])))
        --e;
    item.assign(b, e);
    pos = end ? end + 1 : stop;
    return true;
}
