# The installation: cmake --install, the .deb from CPack, its contents, its desktop entry, and its
# executable started from a scratch root under Xvfb.
add_test(NAME package COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(package PROPERTIES LABELS package TIMEOUT 120 SKIP_RETURN_CODE 77
                     ENVIRONMENT "XDG_CACHE_HOME=${CMAKE_BINARY_DIR}/test-cache")
