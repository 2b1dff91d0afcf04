# Project-wide compiler settings and the helpers every module uses to declare
# its tests and fuzz targets.

add_library(kestravuna_options INTERFACE)
target_compile_options(kestravuna_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough
  $<$<BOOL:${KESTRAVUNA_WERROR}>:-Werror>)

if(KESTRAVUNA_SANITIZE)
  set(_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_sanitizers})
  add_link_options(${_sanitizers})
endif()

if(KESTRAVUNA_THREAD_SANITIZE)
  set(_thread_sanitizer -fsanitize=thread -fno-omit-frame-pointer)
  add_compile_options(${_thread_sanitizer})
  add_link_options(${_thread_sanitizer})
endif()

if(KESTRAVUNA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KESTRAVUNA_FUZZ needs clang (configure with CXX=clang++)")
  endif()
  # Coverage instrumentation for all code; only the fuzz executables link the driver.
  add_compile_options(-fsanitize=fuzzer-no-link)
  set(KESTRAVUNA_FUZZER_DIR ${CMAKE_BINARY_DIR}/fuzzers)
endif()

# kestravuna_add_tests(<name> [USES_CLI] SOURCES ... LIBS ...)
# One GoogleTest executable per module; each test case becomes a CTest test. The shared test
# helpers are included as "test_support/...". USES_CLI: the tests run the built
# kestravuna-cli, whose path they get as KESTRAVUNA_CLI.
function(kestravuna_add_tests name)
  if(NOT KESTRAVUNA_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "USES_CLI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} kestravuna_options GTest::gtest GTest::gmock GTest::gtest_main)
  if(ARG_USES_CLI)
    # Cross-built tests run under Wine, which sees the build folder on drive Z:.
    set(cli_path "$<$<AND:$<BOOL:${CMAKE_CROSSCOMPILING}>,$<BOOL:${WIN32}>>:Z:>$<TARGET_FILE:kestravuna-cli>")
    target_compile_definitions(${name} PRIVATE KESTRAVUNA_CLI="${cli_path}")
    add_dependencies(${name} kestravuna-cli)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${KESTRAVUNA_TEST_TIMEOUT})
endfunction()

# kestravuna_add_fuzzer(<name> SOURCES ... LIBS ...)
# Built only with KESTRAVUNA_FUZZ; the test script runs every executable in
# ${KESTRAVUNA_FUZZER_DIR} for a bounded time.
function(kestravuna_add_fuzzer name)
  if(NOT KESTRAVUNA_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} kestravuna_options)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KESTRAVUNA_FUZZER_DIR})
endfunction()
