// For tests of a real part that scripts/install-deps.sh installs (the sound
// server, a tmpfs, ser2net, the accessibility bus): where the part cannot be
// had, the test skips on a developer's machine, but fails under CI (CI set
// and not "0" or "false"), where a skip would let a missing part pass
// unnoticed.
//
//   REQUIRE_REAL_PART("a sound server", why);   // why: empty when it is there
//
// GoogleTest tests use REQUIRE_REAL_PART, Qt tests QREQUIRE_REAL_PART; both
// return from the test function.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

inline bool RunsUnderCi()
{
    const char* ci = std::getenv("CI");
    return ci && *ci && std::strcmp(ci, "0") != 0 && std::strcmp(ci, "false") != 0;
}

inline std::string RealPartMissing(const char* part, const std::string& why)
{
    return std::string(part) + " is not available" + (why.empty() ? "" : ": " + why);
}

#define REQUIRE_REAL_PART(part, why)                                                                                   \
    do {                                                                                                               \
        const std::string realPartWhy_ = (why);                                                                        \
        if (!realPartWhy_.empty()) {                                                                                   \
            if (RunsUnderCi())                                                                                         \
                GTEST_FAIL() << RealPartMissing(part, realPartWhy_) << " (under CI)";                                  \
            else                                                                                                       \
                GTEST_SKIP() << RealPartMissing(part, realPartWhy_);                                                   \
        }                                                                                                              \
    } while (0)

#define QREQUIRE_REAL_PART(part, why)                                                                                  \
    do {                                                                                                               \
        const std::string realPartWhy_ = (why);                                                                        \
        if (!realPartWhy_.empty()) {                                                                                   \
            if (RunsUnderCi())                                                                                         \
                QFAIL((RealPartMissing(part, realPartWhy_) + " (under CI)").c_str());                                  \
            else                                                                                                       \
                QSKIP(RealPartMissing(part, realPartWhy_).c_str());                                                    \
        }                                                                                                              \
    } while (0)
