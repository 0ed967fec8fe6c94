# Builds network namespaces (root and iproute2; skipped without them) and listens from inside one.
velmor_test(change_monitor_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/change_monitor_test.cpp
  DEPS platform_net velmor_fake_net LABELS threads)
