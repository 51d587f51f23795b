# The digit readers on arbitrary images (bounded to 512 x 512 inside the targets).
ostrelo_add_fuzzer(fuzz_read_digits SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_read_digits.cpp LIBS ostrelo_digits)
ostrelo_add_fuzzer(fuzz_read_red_digits SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_read_red_digits.cpp LIBS
		   ostrelo_digits)
ostrelo_add_fuzzer(fuzz_soft_glyphs SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_soft_glyphs.cpp LIBS ostrelo_digits)
ostrelo_add_fuzzer(fuzz_read_learned SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_read_learned.cpp LIBS ostrelo_digits)
