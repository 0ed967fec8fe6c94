# The X11 host: its pieces without a screen, then the host itself on private Xvfb displays.
velmor_test(host_x11_parts_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/parts_test.cpp
  DEPS platform_host_x11 LABELS x11)

set(velmor_x11_desktop ${CMAKE_CURRENT_LIST_DIR}/x11_desktop.cpp)
velmor_test(host_x11_wm_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/wm_test.cpp ${velmor_x11_desktop}
  DEPS platform_host_x11 platform_ui velmor_res velmor_xvfb_fixture LABELS x11 threads)
velmor_test(host_x11_bare_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/bare_test.cpp ${velmor_x11_desktop}
  DEPS platform_host_x11 platform_ui velmor_xvfb_fixture LABELS x11 threads)
velmor_test(host_x11_controls_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/controls_test.cpp
  DEPS platform_host_x11 velmor_controls velmor_headless_fixture velmor_xvfb_fixture LABELS x11 threads)
