# libFuzzer targets; clang only. Build them in a clang build directory:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz-clang -G Ninja
#   ninja -C build-fuzz-clang ssid_element_fuzz
#   build-fuzz-clang/tests/ssid_element_fuzz -max_total_time=600 \
#       /tmp/ssid-work tests/fuzz/ssid_element_corpus
# (new inputs go to the first, scratch folder; the committed seeds stay as they are).
# make_seed_corpora.py writes the seeds of every target but ssid_element_fuzz, whose few seeds are
# committed as they are; an input that once crashed a target is kept in its corpus as it was found.
#
# CTest runs each target twice (label `fuzz`): once over its seed corpus (<name>_corpus), and once
# for 20 seconds from it (<name>_run), writing what it finds to a scratch folder in the build tree.
# The code under test is compiled into each target so that libFuzzer sees its coverage; what it
# merely calls comes from the libraries.
# Not in the ThreadSanitizer build: libFuzzer runs with AddressSanitizer, which cannot be combined
# with it.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND NOT VELMOR_SANITIZE STREQUAL "thread")
  function(velmor_fuzz_target name)
    cmake_parse_arguments(FUZZ "" "CORPUS" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${FUZZ_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE velmor_warnings ${FUZZ_DEPS})
    set(work ${CMAKE_CURRENT_BINARY_DIR}/fuzz-work/${name})
    file(MAKE_DIRECTORY ${work})
    add_test(NAME ${name}_corpus COMMAND ${name} -runs=0 ${FUZZ_CORPUS})
    add_test(NAME ${name}_run
      COMMAND ${name} -max_total_time=20 -timeout=10 -rss_limit_mb=1024 -print_final_stats=1
              -artifact_prefix=${work}/ ${work} ${FUZZ_CORPUS})
    set_tests_properties(${name}_corpus ${name}_run PROPERTIES LABELS fuzz)
  endfunction()

  velmor_fuzz_target(ssid_element_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ssid_element_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/platform/net/ssid_element.cpp
    CORPUS ${CMAKE_CURRENT_LIST_DIR}/ssid_element_corpus)

  velmor_fuzz_target(body_piece_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/body_piece_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/platform/inet/transfer.cpp
    DEPS platform_inet
    CORPUS ${CMAKE_CURRENT_LIST_DIR}/body_piece_corpus)

  velmor_fuzz_target(web_match_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/web_match_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/probe/check_velmor_web.cpp
            ${PROJECT_SOURCE_DIR}/platform/base/codepage.cpp
    DEPS velmor_probe
    CORPUS ${CMAKE_CURRENT_LIST_DIR}/web_match_corpus)

  velmor_fuzz_target(format_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/format_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/platform/base/format.cpp
            ${PROJECT_SOURCE_DIR}/platform/base/codepage.cpp
            ${PROJECT_SOURCE_DIR}/platform/base/errors.cpp
    CORPUS ${CMAKE_CURRENT_LIST_DIR}/format_corpus)

  velmor_fuzz_target(image_codec_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/image_codec_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/platform/gdi/image_codec.cpp
    CORPUS ${CMAKE_CURRENT_LIST_DIR}/image_codec_corpus)

  velmor_fuzz_target(adapter_records_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/adapter_records_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/platform/net/adapters.cpp
    DEPS platform_net
    CORPUS ${CMAKE_CURRENT_LIST_DIR}/adapter_records_corpus)
endif()
