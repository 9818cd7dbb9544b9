# GoogleTest: Debian's packaged library on the host; built from Debian's
# sources with the cross compiler for Windows (run under Wine by ctest through
# CMAKE_CROSSCOMPILING_EMULATOR).
include(CTest)
if(BREVARO_FUZZ)
  # The fuzz build has no GoogleTest programs.
elseif(WIN32)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()
if(NOT BREVARO_FUZZ)
  include(GoogleTest)
endif()

# brevaro_add_test(name LABEL label SOURCES ... LIBS ...): one GoogleTest
# program whose cases ctest lists one by one, carrying the label.
function(brevaro_add_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main brevaro_sanitize brevaro_warnings)
  if(WIN32)
    target_link_options(${name} PRIVATE -mconsole)
  endif()
  # Test names without the parameter's printed value (for a plain struct that
  # is a byte dump, different in every run): parameterised tables name their
  # cases themselves.
  gtest_discover_tests(${name} PROPERTIES LABELS ${T_LABEL} DISCOVERY_TIMEOUT 60 DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES)
endfunction()

# brevaro_add_fuzzer(name SOURCES ... LIBS ... [CORPUS dir]): a libFuzzer
# target (fuzz preset only). ctest runs it for BREVARO_FUZZ_SECONDS on its
# corpus folder (tests/fuzz/<name>/corpus unless CORPUS names another, e.g.
# one shared by two targets of the same format). ARGS are extra libFuzzer
# flags after the defaults (a later flag wins, e.g. a lower -rss_limit_mb).
set(BREVARO_FUZZ_SECONDS 20 CACHE STRING "Seconds each fuzzer runs under ctest")
if(BREVARO_FUZZ AND NOT TARGET fuzzers)
  add_custom_target(fuzzers)
endif()
function(brevaro_add_fuzzer name)
  if(NOT BREVARO_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PRIVATE ${F_LIBS} brevaro_sanitize brevaro_warnings)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzzers ${name})
  set(corpus ${PROJECT_SOURCE_DIR}/tests/fuzz/${name}/corpus)
  if(F_CORPUS)
    set(corpus ${F_CORPUS})
  endif()
  set(work ${CMAKE_BINARY_DIR}/fuzz-work/${name})
  list(JOIN F_ARGS " " extra)
  add_test(NAME fuzz.${name}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
      sh -c "mkdir -p '${work}' && cp -r '${corpus}/.' '${work}/' 2>/dev/null; exec \"$0\" -max_total_time=${BREVARO_FUZZ_SECONDS} -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 ${extra} '${work}'" $<TARGET_FILE:${name}>)
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()

# brevaro_add_bench(name SOURCES ... LIBS ...): a Google Benchmark program,
# built in the release preset only and run by scripts/bench.
function(brevaro_add_bench name)
  if(NOT BREVARO_BENCH)
    return()
  endif()
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${B_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark brevaro_warnings)
endfunction()
