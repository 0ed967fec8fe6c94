velmor_test(wlan_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/wlan_test.cpp DEPS platform_net velmor_fake_net)
