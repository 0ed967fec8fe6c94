velmor_test(hostile_router_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hostile_router_test.cpp
  DEPS velmor_probe velmor_router_sim velmor_inet_test_environment
  LABELS threads)
