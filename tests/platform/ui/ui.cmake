velmor_test(ui_messages_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/messages_test.cpp
  DEPS platform_ui velmor_headless_fixture LABELS threads)
velmor_test(ui_loop_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/loop_test.cpp
  DEPS platform_ui velmor_headless_fixture LABELS threads)
velmor_test(ui_paint_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/paint_test.cpp
  DEPS platform_ui velmor_headless_fixture)
velmor_test(ui_mouse_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/mouse_test.cpp
  DEPS platform_ui velmor_headless_fixture)
velmor_test(ui_dialog_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialog_test.cpp
  DEPS platform_ui velmor_headless_fixture LABELS threads)
