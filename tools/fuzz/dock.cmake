# The layout installer's reading of a scene collection: Qt's JSON parser, then the plan. The
# fuzz build leaves Qt out of the project, so this target brings Qt Core in itself.
find_package(Qt6 QUIET COMPONENTS Core)
if(NOT Qt6Core_FOUND)
	message(STATUS "fuzz_collection_plan skipped: Qt 6 Core not found")
	return()
endif()
ostrelo_add_fuzzer(fuzz_collection_plan SOURCES ${CMAKE_CURRENT_LIST_DIR}/dock/fuzz_collection_plan.cpp
		   ${PROJECT_SOURCE_DIR}/dock/collection_plan.cpp LIBS Qt6::Core)
target_include_directories(fuzz_collection_plan PRIVATE ${PROJECT_SOURCE_DIR})
