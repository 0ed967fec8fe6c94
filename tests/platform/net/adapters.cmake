velmor_test(adapters_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/adapters_test.cpp DEPS platform_net velmor_fake_net)
# Builds network namespaces (root and iproute2; skipped without them) and reads them from a thread.
velmor_test(linux_adapters_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/linux_adapters_test.cpp
  DEPS platform_net velmor_fake_net LABELS threads)
