velmor_test(kernel_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/sync_test.cpp ${CMAKE_CURRENT_LIST_DIR}/named_event_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/debug_output_test.cpp
  DEPS platform_kernel velmor_manual_clock
  LABELS threads)
