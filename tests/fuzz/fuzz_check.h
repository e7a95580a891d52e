// What the fuzz targets share. A target is one function,
//   extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// built twice: with libFuzzer (the fuzz preset) and with replay_main.cpp, which feeds it the
// committed corpus as an ordinary test. A broken invariant prints what broke and aborts, which
// both count as a finding.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tidewell::fuzz {

[[noreturn]] inline void fail(const char* condition, const std::string& what, const char* file,
                              int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n  %s\n", file, line, what.c_str(),
                 condition);
    std::abort();
}

}  // namespace tidewell::fuzz

#define TIDEWELL_FUZZ_CHECK(condition, what) \
    ((condition) ? void(0) : ::tidewell::fuzz::fail(#condition, (what), __FILE__, __LINE__))
