velmor_test(res_resources_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/resources_test.cpp
  DEPS velmor_res platform_base LABELS res)

find_program(VELMOR_DESKTOP_FILE_VALIDATE desktop-file-validate)
if(VELMOR_DESKTOP_FILE_VALIDATE)
  add_test(NAME res_desktop_entry_valid
    COMMAND ${VELMOR_DESKTOP_FILE_VALIDATE} ${PROJECT_SOURCE_DIR}/res/velmor-manager.desktop)
  set_tests_properties(res_desktop_entry_valid PROPERTIES LABELS res)
endif()
