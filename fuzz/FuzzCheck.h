#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tamblor::fuzz {

// A broken rule ends the run as a crash, which the fuzzer keeps and the replay reports.
[[noreturn]] inline void FuzzFail(const std::string& finding) {
    std::fprintf(stderr, "fuzz finding: %s\n", finding.c_str());
    std::fflush(stderr);
    std::abort();
}

inline void FuzzCheck(bool ok, const char* finding) {
    if (!ok) FuzzFail(finding);
}

}  // namespace tamblor::fuzz
