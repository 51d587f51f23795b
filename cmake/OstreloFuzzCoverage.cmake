# The fuzz build's coverage instrumentation leaves out the functions listed in
# tools/fuzz/coverage_ignorelist.txt (the list says why). The compiler reads a copy whose name
# carries the list's hash: ccache hashes the command line, not the list, so an edited list must
# change the command line to rebuild what it changes.
set(_ostrelo_ignorelist ${PROJECT_SOURCE_DIR}/tools/fuzz/coverage_ignorelist.txt)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_ostrelo_ignorelist})
file(MD5 ${_ostrelo_ignorelist} _ostrelo_ignorelist_hash)
string(SUBSTRING ${_ostrelo_ignorelist_hash} 0 12 _ostrelo_ignorelist_hash)
set(_ostrelo_ignorelist_copy ${PROJECT_BINARY_DIR}/coverage_ignorelist-${_ostrelo_ignorelist_hash}.txt)
configure_file(${_ostrelo_ignorelist} ${_ostrelo_ignorelist_copy} COPYONLY)
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fsanitize-coverage-ignorelist=${_ostrelo_ignorelist_copy}>)
