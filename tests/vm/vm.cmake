# The real Wi-Fi stack: Debian's kernel under QEMU with mac80211_hwsim, hostapd, wpa_supplicant or
# iwd, and the real velmor-manager on Xvfb in the guest (see run_stage.sh). The kernel is
# downloaded once into <build>/tests/vm/kernel; each run leaves its logs and screenshots in
# <build>/tests/vm/out.
if(TARGET velmor-manager)
  add_executable(vm_window ${CMAKE_CURRENT_LIST_DIR}/vm_window.cpp ${CMAKE_CURRENT_LIST_DIR}/window_look.cpp)
  target_link_libraries(vm_window PRIVATE velmor_dialog velmor_headless_fixture velmor_test_support velmor_fake_net
                        PkgConfig::XLIB velmor_warnings)

  add_test(NAME real_wifi_stack
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run_stage.sh ${CMAKE_BINARY_DIR})
  # The guest takes both cores for minutes: nothing else runs beside it.
  set_tests_properties(real_wifi_stack PROPERTIES LABELS vm RUN_SERIAL TRUE TIMEOUT 1200)
endif()
