velmor_test(platform_shell_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/shell_test.cpp DEPS platform_shell LABELS threads)
