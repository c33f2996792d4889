# Writes the bytes of INPUT as a C++ array behind a function NAME in OUTPUT.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" length)
math(EXPR count "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n  " bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from ${NAME}'s picture at build time; do not edit.\n#include <cstddef>\n#include <cstdint>\n#include <span>\n\nnamespace lumora {\nnamespace {\nconst std::uint8_t kData[${count}] = {\n  ${bytes}\n};\n}  // namespace\n\nstd::span<const std::uint8_t> ${NAME}() { return kData; }\n\n}  // namespace lumora\n")
