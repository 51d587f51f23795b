# The live client's response scanner.
ostrelo_add_fuzzer(fuzz_scan_json_int SOURCES ${CMAKE_CURRENT_LIST_DIR}/scan_json_int_fuzz.cpp LIBS ostrelo_live_core)
