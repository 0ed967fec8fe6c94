# The end-to-end test: velmor-manager-sim on Xvfb under openbox, in network namespaces with the
# router simulator. Its screenshots and logs go to <build>/tests/e2e/.
velmor_test(e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/e2e_test.cpp ${CMAKE_CURRENT_LIST_DIR}/sim_world.cpp
  DEPS velmor_xvfb_fixture velmor_fake_net
  LABELS e2e)
target_compile_definitions(e2e_test PRIVATE
  VELMOR_SIM_EXE="$<TARGET_FILE:velmor-manager-sim>"
  ROUTER_SIM_EXE="$<TARGET_FILE:router_sim>"
  VELMOR_SKIN_DIR="${PROJECT_SOURCE_DIR}/res/skin"
  VELMOR_E2E_OUTPUT="${CMAKE_CURRENT_BINARY_DIR}/e2e")
add_dependencies(e2e_test velmor-manager-sim router_sim)
