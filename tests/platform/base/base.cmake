velmor_test(base_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/format_test.cpp ${CMAKE_CURRENT_LIST_DIR}/codepage_test.cpp
  DEPS platform_base)
