velmor_test(internet_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/internet_test.cpp
  DEPS platform_inet velmor_router_sim velmor_inet_test_environment
  LABELS threads)
