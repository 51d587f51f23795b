# The digit readers on counter crops of 720p, 1080p and 4K frames, an end-card crop and a red
# counter; and glyph scoring, packed against plain.
ostrelo_add_benchmark(bench_digits ${CMAKE_CURRENT_LIST_DIR}/digits_bench.cpp
		      ${PROJECT_SOURCE_DIR}/tests/digits/test_support.cpp)
target_include_directories(bench_digits PRIVATE ${PROJECT_SOURCE_DIR}/tests/digits)
target_link_libraries(bench_digits PRIVATE ostrelo_digits)
