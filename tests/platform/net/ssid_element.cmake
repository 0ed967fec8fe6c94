velmor_test(ssid_element_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/ssid_element_test.cpp DEPS platform_net)
