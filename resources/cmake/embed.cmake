# Writes a C++ source that holds one file's bytes as a constant array.
# Usage: cmake -DINPUT=file.png -DOUTPUT=file.cpp -DSYMBOL=name -P embed.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REPEAT "0x[0-9a-f][0-9a-f]," 16 row)
string(REGEX REPLACE "(${row})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT}; do not edit.
#include <cstddef>
#include <cstdint>

namespace tidewell::res::art {
extern const std::uint8_t ${SYMBOL}[] = {
    ${bytes}
};
extern const std::size_t ${SYMBOL}_size = ${size};
}  // namespace tidewell::res::art
")
