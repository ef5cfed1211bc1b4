# Writes a C++ source that holds a text file's bytes as a NUL-terminated char
# array, so the program carries the file and works from the build tree.
#   cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... -DNAMESPACE=... -P embed_text.cmake
file(READ "${INPUT}" bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${bytes}")
string(REGEX REPLACE "(([^,]*,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n"
  "namespace ${NAMESPACE} {\n"
  "extern const char ${SYMBOL}[];\n"
  "const char ${SYMBOL}[] = {\n    ${bytes}'\\0'};\n"
  "}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
