# The updater's manifest scanner and the rules applied to what it finds.
ostrelo_add_fuzzer(fuzz_scan_json_string SOURCES ${CMAKE_CURRENT_LIST_DIR}/update/fuzz_scan_json_string.cpp LIBS
		   ostrelo_update_core)
ostrelo_add_fuzzer(fuzz_update_manifest SOURCES ${CMAKE_CURRENT_LIST_DIR}/update/fuzz_update_manifest.cpp LIBS
		   ostrelo_update_core)
