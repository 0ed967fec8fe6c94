velmor_test(controls_hover_button_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hover_button_test.cpp ${CMAKE_CURRENT_LIST_DIR}/controls_dialog.cpp
  DEPS velmor_controls velmor_headless_fixture LABELS threads)
velmor_test(controls_label_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/label_test.cpp ${CMAKE_CURRENT_LIST_DIR}/controls_dialog.cpp
  DEPS velmor_controls velmor_headless_fixture LABELS threads)
