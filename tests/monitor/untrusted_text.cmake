velmor_test(untrusted_text_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/untrusted_text_test.cpp
  DEPS velmor_program_fixture velmor_inet_test_environment
  LABELS threads)
