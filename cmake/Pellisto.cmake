# Helpers shared by every folder's CMakeLists.txt.

# pellisto_library(NAME SOURCES ... [DEPS ...] [SYSTEM ...])
# One static library per folder; headers are included as "platform/rtl/Streams.h".
function(pellisto_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;SYSTEM" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} ${ARG_SYSTEM})
endfunction()

# Aggregates that the sanitizer runs build, so they compile only what they run.
if(NOT TARGET pellisto_tsan_tests)
  add_custom_target(pellisto_tsan_tests)
  add_custom_target(pellisto_fuzzers)
endif()

# pellisto_test(NAME SOURCES ... [DEPS ...] [LABELS ...] [TSAN])
# A GoogleTest binary whose cases are registered with CTest one by one.
# TSAN marks a test that the ThreadSanitizer run executes.
function(pellisto_test name)
  cmake_parse_arguments(ARG "TSAN" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    PELLISTO_SHARED_DIR="${PELLISTO_SHARED_DIR}"
    PELLISTO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    PELLISTO_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set(labels ${ARG_LABELS})
  if(ARG_TSAN)
    list(APPEND labels tsan)
    add_dependencies(pellisto_tsan_tests ${name})
  endif()
  set(properties TIMEOUT 300)
  if(labels)
    list(APPEND properties LABELS "${labels}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES ${properties})
endfunction()

# pellisto_fuzzer(NAME SOURCES ... [DEPS ...] [SEEDS dir ...])
# Built only in the clang address-sanitizer build; scripts/test runs each for a bounded time.
function(pellisto_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;SEEDS" ${ARGN})
  if(NOT PELLISTO_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
  add_dependencies(pellisto_fuzzers ${name})
  string(REPLACE ";" "\n" seeds "${ARG_SEEDS}")
  file(WRITE "${CMAKE_BINARY_DIR}/fuzzers/${name}.seeds" "${seeds}\n")
endfunction()
