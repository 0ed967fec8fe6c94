velmor_test(platform_afx_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/afx_test.cpp
  DEPS platform_afx velmor_headless_fixture LABELS threads)
