# cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=kName -P embed_file.cmake
# Writes a C++ source file that defines `klv::pictures::SYMBOL`, the bytes of INPUT, and
# `SYMBOL##Size`, their count (declared in update/pictures/pictures.h).
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}" "// Generated from update/pictures/${name} at build time; do not edit.
#include \"update/pictures/pictures.h\"

namespace klv::pictures {

const unsigned char ${SYMBOL}[] = {
    ${bytes}
};
const std::size_t ${SYMBOL}Size = sizeof(${SYMBOL});

}  // namespace klv::pictures
")
