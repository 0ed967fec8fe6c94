# One process for the one key-filter story: the typed keys last as long as the process.
velmor_test(key_filter_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/key_filter_test.cpp
  DEPS velmor_program_fixture velmor_inet_test_environment
  LABELS threads)
