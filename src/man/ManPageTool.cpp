// ormid-manpage SOURCE.md OUTPUT VERSION: writes one manual page in roff.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "CAtomicFile.h"
#include "CManPage.h"
#include "SafeFile.h"

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
    CAtomicFile out;
    if (!out.Open(argv[2], roff.size()) || !out.Write(roff.data(), roff.size()) || !out.Commit()) {
        std::cerr << "ormid-manpage: " << FileErrorLine(argv[2], out.Error()) << "\n";
        return 1;
    }
    return 0;
}
