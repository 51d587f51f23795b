# HUD state classifier on arbitrary frames: sizes up to 1024 x 1024, any line size and pixels.
# The classifier's sources are compiled into the target so that libFuzzer sees their coverage.
ostrelo_add_fuzzer(
	fuzz_hud_classifier
	SOURCES
	${CMAKE_CURRENT_LIST_DIR}/fuzz_hud_classifier.cpp
	${PROJECT_SOURCE_DIR}/statreader/hud_classifier.cpp
	${PROJECT_SOURCE_DIR}/statreader/hud_kernels.cpp
	${PROJECT_SOURCE_DIR}/statreader/hud_templates.cpp
	LIBS
	ostrelo_common)
