# Warnings for every target of the project. Third-party headers come in as system
# includes (imported targets), so they do not trip these.
if(MSVC)
	add_compile_options(/W4 /utf-8 /permissive-)
	if(OSTRELO_WERROR)
		add_compile_options(/WX)
	endif()
else()
	add_compile_options(-Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor -Wformat=2)
	if(OSTRELO_WERROR)
		add_compile_options(-Werror)
	endif()
endif()

# ostrelo_add_test(NAME <name> SOURCES ... [LIBS ...] [OBS] [QTEST] [LABELS ...] [TIMEOUT s])
#   default: GoogleTest with gtest_main
#   OBS:     GoogleTest in a headless libobs session (tests/support harness), under a virtual display
#   QTEST:   a QtTest program on the offscreen platform
#   QTEST OBS: a QtTest program that starts libobs itself, under a virtual display
function(ostrelo_add_test)
	cmake_parse_arguments(T "OBS;QTEST" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
	add_executable(${T_NAME} ${T_SOURCES})
	target_link_libraries(${T_NAME} PRIVATE ${T_LIBS})
	if(T_OBS AND T_QTEST)
		target_link_libraries(${T_NAME} PRIVATE Qt6::Test OBS::libobs)
		add_test(NAME ${T_NAME} COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-display.sh
						 $<TARGET_FILE:${T_NAME}>)
		list(APPEND T_LABELS obs qt)
	elseif(T_OBS)
		target_link_libraries(${T_NAME} PRIVATE ostrelo_obs_harness)
		add_test(NAME ${T_NAME} COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-display.sh
						 $<TARGET_FILE:${T_NAME}>)
		list(APPEND T_LABELS obs)
	elseif(T_QTEST)
		target_link_libraries(${T_NAME} PRIVATE Qt6::Test)
		add_test(NAME ${T_NAME} COMMAND ${T_NAME})
		list(APPEND T_LABELS qt)
	else()
		target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gtest_main)
		add_test(NAME ${T_NAME} COMMAND ${T_NAME})
	endif()
	if(NOT T_TIMEOUT)
		set(T_TIMEOUT 300)
	endif()
	set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
	if(T_OBS OR T_QTEST)
		set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
	endif()
endfunction()
