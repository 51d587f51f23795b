# readPlates on a plates crop of a 1080p frame (the preset's 220 x 40), straight, through a
# four-corner outline, and turned by an angle.
ostrelo_add_benchmark(bench_plates ${CMAKE_CURRENT_LIST_DIR}/plates_bench.cpp
		      ${PROJECT_SOURCE_DIR}/tests/plates/bar_drawing.cpp)
target_include_directories(bench_plates PRIVATE ${PROJECT_SOURCE_DIR}/tests/plates)
target_link_libraries(bench_plates PRIVATE ostrelo_plates)
