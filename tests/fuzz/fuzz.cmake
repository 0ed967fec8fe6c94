# libFuzzer targets; clang only. Build them in a clang build directory:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz-clang -G Ninja
#   ninja -C build-fuzz-clang nl80211_answer_fuzz
#   build-fuzz-clang/tests/nl80211_answer_fuzz -max_total_time=600 \
#       /tmp/nl80211-work tests/fuzz/nl80211_corpus
# (new inputs go to the first, scratch folder; the committed seeds stay as they are).
# CTest runs each target once over its seed corpus.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_executable(nl80211_answer_fuzz
    ${CMAKE_CURRENT_LIST_DIR}/nl80211_answer_fuzz.cpp
    ${PROJECT_SOURCE_DIR}/platform/net/netlink_reader.cpp
    ${PROJECT_SOURCE_DIR}/platform/net/nl80211_answer.cpp)
  target_include_directories(nl80211_answer_fuzz PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(nl80211_answer_fuzz PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  target_link_options(nl80211_answer_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(nl80211_answer_fuzz PRIVATE velmor_warnings)
  add_test(NAME nl80211_answer_fuzz_corpus
    COMMAND nl80211_answer_fuzz -runs=0 ${CMAKE_CURRENT_LIST_DIR}/nl80211_corpus)
endif()
