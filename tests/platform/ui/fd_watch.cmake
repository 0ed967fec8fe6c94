velmor_test(ui_fd_watch_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/fd_watch_test.cpp
  DEPS platform_ui velmor_headless_fixture LABELS threads)
