# Long runs of the whole dialog: many passes in one process, and close at any moment.
# VELMOR_SOAK_PASSES raises the soak's count (the figure in the notes used 10000).
velmor_test(endurance_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/soak_test.cpp ${CMAKE_CURRENT_LIST_DIR}/close_anywhere_test.cpp
  DEPS velmor_program_fixture velmor_inet_test_environment
  LABELS threads)
