# Turns one data file into a C++ source holding its bytes, so the program
# carries the data without any file beside it.
# Run as: cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... -P EmbedFile.cmake
# The source defines, in namespace mojian, `const char SYMBOL[]` (the bytes
# and a NUL) and `const std::size_t SYMBOLSize` (the bytes without the NUL).
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
get_filename_component(name "${INPUT}" NAME)
set(body "// Generated from ${name} by EmbedFile.cmake; do not edit.\n#include <cstddef>\n\nnamespace mojian {\n")
string(APPEND body "extern const char ${SYMBOL}[];\nextern const std::size_t ${SYMBOL}Size;\n")
string(APPEND body "const char ${SYMBOL}[] = {${bytes}0};\nconst std::size_t ${SYMBOL}Size = ${size};\n}  // namespace mojian\n")
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
