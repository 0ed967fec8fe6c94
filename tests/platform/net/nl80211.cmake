velmor_test(nl80211_answer_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/nl80211_answer_test.cpp DEPS platform_net)
target_compile_definitions(nl80211_answer_test PRIVATE
  VELMOR_NL80211_CORPUS="${PROJECT_SOURCE_DIR}/tests/fuzz/nl80211_corpus")
