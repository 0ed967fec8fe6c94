# The Wi-Fi backends against a real kernel's Wi-Fi stack; wlan_live_test.cpp says how to run it.
# CTest does not list it: this machine's kernel has no nl80211, and the virtual machine stage runs
# it where there is one.
add_executable(wlan_live_test ${CMAKE_CURRENT_LIST_DIR}/wlan_live_test.cpp)
target_link_libraries(wlan_live_test PRIVATE platform_net GTest::gtest_main velmor_warnings)
