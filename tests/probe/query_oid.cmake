velmor_test(query_oid_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/query_oid_test.cpp
  DEPS velmor_probe velmor_test_support)
