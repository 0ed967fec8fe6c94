velmor_test(query_wlan_ssid_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/query_wlan_ssid_test.cpp
  DEPS velmor_probe velmor_fake_net)
