velmor_test(monitor_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/status_display_test.cpp ${CMAKE_CURRENT_LIST_DIR}/detection_pass_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/cadence_test.cpp ${CMAKE_CURRENT_LIST_DIR}/settings_launch_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/window_commands_test.cpp
  DEPS velmor_program_fixture velmor_inet_test_environment
  LABELS threads)
