# Project-wide build settings: warnings on our own code, and the sanitizer builds.

if(VELMOR_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VELMOR_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VELMOR_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VELMOR_SANITIZE must be empty, 'address' or 'thread'")
endif()

add_library(velmor_warnings INTERFACE)
target_compile_options(velmor_warnings INTERFACE -Wall -Wextra -Werror)

# velmor_library(NAME SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
# A static library of our own code, rooted at the source tree for includes.
function(velmor_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE velmor_warnings ${ARG_PRIVATE_DEPS})
endfunction()
