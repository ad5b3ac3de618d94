// ormid-manpage SOURCE.md OUTPUT VERSION: writes one manual page in roff.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "CManPage.h"

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: ormid-manpage SOURCE.md OUTPUT VERSION\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "ormid-manpage: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream source;
    source << in.rdbuf();
    std::string roff, error;
    if (!CManPage::ToRoff(source.str(), argv[3], roff, error)) {
        std::cerr << argv[1] << ": " << error << "\n";
        return 1;
    }
    const std::string temporary = std::string(argv[2]) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << roff;
        if (!out.flush()) {
            std::cerr << "ormid-manpage: cannot write " << temporary << "\n";
            return 1;
        }
    }
    if (std::rename(temporary.c_str(), argv[2]) != 0) {
        std::cerr << "ormid-manpage: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
