# Writes a C++ source that links a file into the program as the raw-data resource NAME.
# Without INPUT the program carries no resource at all; with an empty INPUT, an empty one.
#   cmake -DNAME=ROOTS -DINPUT=roots.zip -DOUTPUT=roots_resource.cpp -P embed.cmake
set(bytes "")
if(DEFINED INPUT AND NOT INPUT STREQUAL "")
    file(READ "${INPUT}" hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "((0x..,){24})" "\\1\n    " bytes "${bytes}")
endif()
if(DEFINED INPUT)
    set(table "{\"${NAME}\", kData, sizeof(kData) - 1}")
    set(count 1)
else()
    set(table "{nullptr, nullptr, 0}")
    set(count 0)
endif()
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT} by embed.cmake.
#include \"platform/Resources.h\"

namespace {
const unsigned char kData[] = {
    ${bytes}0};
} // namespace

namespace platform {
const TEmbeddedResource kEmbeddedResources[] = {${table}};
const size_t kEmbeddedResourceCount = ${count};
} // namespace platform
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
