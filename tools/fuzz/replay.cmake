# ostrelo-replay's expectation files and their check.
ostrelo_add_fuzzer(fuzz_expectations SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_expectations.cpp LIBS ostrelo_replay_core)
