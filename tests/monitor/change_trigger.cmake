velmor_test(change_trigger_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/change_trigger_test.cpp
  DEPS velmor_program_fixture velmor_fake_net velmor_inet_test_environment
  LABELS threads)
