velmor_test(main_window_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/main_window_test.cpp
  DEPS velmor_program_fixture velmor_inet_test_environment
  LABELS threads)
