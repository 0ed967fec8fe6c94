velmor_test(debug_trace_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/debug_trace_test.cpp
  DEPS velmor_trace velmor_test_support
  LABELS threads)
