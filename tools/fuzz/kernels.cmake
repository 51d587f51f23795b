# Arithmetic kernels that the fuzz build compiles (in their libraries and in the targets that
# compile them themselves) without UndefinedBehaviorSanitizer's address
# checks (pointer-overflow, alignment, null). Every load and store in them stays checked by
# AddressSanitizer, which finds what those checks would (an index that leaves its buffer), and
# every other UBSan check (signed overflow, shifts, conversions, fixed-size array bounds) stays
# on. With the address checks in them their loops could not be vectorised: a branch per access
# made one run of the learned reader's network or one template search a few milliseconds, the
# larger part of an execution of every target that reaches them.
set(_ostrelo_kernels digits/learned_model.cpp statreader/hud_kernels.cpp)
file(GLOB _ostrelo_more_kernels RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/digits/learned_kernels*.cpp)
foreach(src IN LISTS _ostrelo_kernels _ostrelo_more_kernels)
	if(EXISTS ${PROJECT_SOURCE_DIR}/${src})
		get_filename_component(dir ${PROJECT_SOURCE_DIR}/${src} DIRECTORY)
		set_property(SOURCE ${PROJECT_SOURCE_DIR}/${src} DIRECTORY ${dir} ${CMAKE_CURRENT_SOURCE_DIR} APPEND PROPERTY COMPILE_OPTIONS
			     -fno-sanitize=pointer-overflow,alignment,null)
	endif()
endforeach()
