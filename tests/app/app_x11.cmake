velmor_test(app_x11_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_x11_test.cpp
  DEPS velmor_xvfb_fixture
  LABELS x11)
target_compile_definitions(app_x11_test PRIVATE VELMOR_MANAGER_EXE="$<TARGET_FILE:velmor-manager>")
add_dependencies(app_x11_test velmor-manager)
