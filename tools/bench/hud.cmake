# HUD state classifier: one classification of a realistic in-match frame at 1080p and 4K.
ostrelo_add_benchmark(bench_hud_classifier ${CMAKE_CURRENT_LIST_DIR}/hud_classifier_bench.cpp
		      ${PROJECT_SOURCE_DIR}/tests/statreader_core/hud_test_frames.cpp)
target_include_directories(bench_hud_classifier PRIVATE ${PROJECT_SOURCE_DIR}/tests/statreader_core)
target_link_libraries(bench_hud_classifier PRIVATE ostrelo_statreader_core)
