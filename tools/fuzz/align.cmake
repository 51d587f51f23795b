# The align window's arithmetic on arbitrary stored regions, corners, mouse positions and
# view sizes, and the preview reads of what they cut out.
ostrelo_add_fuzzer(fuzz_align_regions SOURCES ${CMAKE_CURRENT_LIST_DIR}/align_regions_fuzz.cpp LIBS ostrelo_align_core)
