velmor_test(app_x11_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_x11_test.cpp
  DEPS velmor_xvfb_fixture
  LABELS x11)
target_compile_definitions(app_x11_test PRIVATE VELMOR_MANAGER_EXE="$<TARGET_FILE:velmor-manager>")
add_dependencies(app_x11_test velmor-manager)
# The early ends of a start, 1,000 of each way: a minute or more on two cores, and several times
# that under a sanitizer, which adds nothing to a check for crashes at exit.
if(NOT VELMOR_SANITIZE)
  add_test(NAME app_x11_early_ends_1000 COMMAND app_x11_test --gtest_filter=AppOnX11.EarlyEndsNeverCrash)
  set_tests_properties(app_x11_early_ends_1000 PROPERTIES
    ENVIRONMENT "VELMOR_EARLY_ENDS=1000;XDG_CACHE_HOME=${CMAKE_BINARY_DIR}/test-cache" LABELS "x11;slow" TIMEOUT 1500)
endif()
