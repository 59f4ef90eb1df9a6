# Turns a text file into a C++ source defining it as one zero-terminated char
# array, so a program carries the file without reading it at run time:
#   cmake -DINPUT=page.html -DOUTPUT=page.cpp -DNAME=kPage -P embed_text.cmake
# Bytes are written as numbers: no quoting, no limit on literal length.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.new" "// Made from ${INPUT} by cmake/embed_text.cmake; edit that file instead.\nextern const char ${NAME}[];\nconst char ${NAME}[] = {\n${bytes}0};\n")
# Only a changed text touches the source, so nothing rebuilds needlessly.
configure_file("${OUTPUT}.new" "${OUTPUT}" COPYONLY)
file(REMOVE "${OUTPUT}.new")
