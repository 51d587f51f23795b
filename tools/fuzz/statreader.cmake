# Frame processing with the real readers on arbitrary frames and settings, and the overlay
# token's normalisation.
ostrelo_add_fuzzer(fuzz_process_frame SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_process_frame.cpp LIBS
		   ostrelo_statreader_core)
ostrelo_add_fuzzer(fuzz_normalize_token SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_normalize_token.cpp LIBS
		   ostrelo_statreader_core)
