velmor_test(ndis_linux_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ndis_test.cpp
  DEPS platform_net)
target_compile_definitions(ndis_linux_test PRIVATE VELMOR_NDIS_QUERY_TOOL="$<TARGET_FILE:velmor-ndis-query>")
add_dependencies(ndis_linux_test velmor-ndis-query)
