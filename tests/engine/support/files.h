// Whole-file reads and writes for the engine tests, and their temporary folder.
#pragma once

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "tidewell/testsupport/temp_dir.h"

namespace tidewell::testing {

using testsupport::TempDir;

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace tidewell::testing
