velmor_test(check_velmor_web_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/check_velmor_web_test.cpp
  DEPS velmor_probe velmor_router_sim velmor_fake_net velmor_inet_test_environment
  LABELS threads)

# The platform's real time-outs: these take seconds.
velmor_test(check_velmor_web_timeout_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/check_velmor_web_timeout_test.cpp
  DEPS velmor_probe velmor_router_sim velmor_inet_test_environment
  LABELS threads)

velmor_test(check_velmor_web_soak_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/check_velmor_web_soak_test.cpp
  DEPS velmor_probe velmor_router_sim velmor_inet_test_environment
  LABELS threads)
