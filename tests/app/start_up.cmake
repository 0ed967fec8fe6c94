velmor_test(start_up_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/start_up_test.cpp DEPS velmor_start_up LABELS threads)
