velmor_test(gdi_dc_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/dc_test.cpp DEPS platform_gdi LABELS gdi)
velmor_test(gdi_picture_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/picture_test.cpp DEPS platform_gdi LABELS gdi)
velmor_test(gdi_text_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_test.cpp DEPS platform_gdi PkgConfig::FONTCONFIG LABELS gdi threads)
velmor_test(gdi_font_matches_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/font_matches_test.cpp DEPS platform_gdi LABELS gdi)
