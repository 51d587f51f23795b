# One processed frame of the stat reader on each screen of the game at 720p, 1080p and 4K,
# beside one memcpy of the same frame; prints the ratios at the end (its own main).
if(NOT OSTRELO_PURE_ONLY)
	add_executable(bench_frame_processing ${CMAKE_CURRENT_LIST_DIR}/frame_processing_bench.cpp)
	target_link_libraries(bench_frame_processing PRIVATE benchmark::benchmark ostrelo_statreader_core
							      ostrelo_hudframes)
	target_compile_definitions(bench_frame_processing
				   PRIVATE OSTRELO_HUD_SCREENS_DIR="${PROJECT_SOURCE_DIR}/tests/data/hud")
endif()

# The graphics-thread time the filter adds per rendered frame, in a headless libobs session:
# renders a HUD source with and without the filter at 30 frames a second and prints the
# distribution of render-call times. A measurement, not a test: it runs only by hand.
if(NOT OSTRELO_PURE_ONLY AND OSTRELO_BUILD_TESTS)
	add_executable(bench_filter_render ${CMAKE_CURRENT_LIST_DIR}/filter_render_bench.cpp)
	target_link_libraries(bench_filter_render PRIVATE ostrelo_obs_harness ostrelo_hudframes ostrelo_statreader)
endif()
