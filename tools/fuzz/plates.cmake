# The plates reader on arbitrary crops, outlines (NaN, infinite and huge coordinates included)
# and angles.
ostrelo_add_fuzzer(fuzz_read_plates SOURCES ${CMAKE_CURRENT_LIST_DIR}/read_plates_fuzz.cpp LIBS ostrelo_plates)
