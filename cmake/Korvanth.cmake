# Build helpers shared by every folder.

# The environment every test runs in, set through its ctest properties so that
# a bare ctest in a build folder runs the tests as scripts/test.sh does:
# sanitizers that report a failed allocation as null and check for leaks
# without the dynamic-TLS interceptor (tests/sanitizer_defaults.cpp says why),
# and Mesa's headless EGL.
# (Two properties of one value each: a list would not survive the generated
# scripts of gtest_discover_tests. UBSan's options are built into the test
# programs, tests/sanitizer_defaults.cpp.)
set(KRV_TEST_PROPERTIES
  ENVIRONMENT "ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1:intercept_tls_get_addr=0"
  ENVIRONMENT_MODIFICATION "EGL_PLATFORM=set:surfaceless")

# krv_test_env(tests...): gives the tests that environment.
function(krv_test_env)
  set_tests_properties(${ARGN} PROPERTIES ${KRV_TEST_PROPERTIES})
endfunction()

# krv_library(name [DEPS libs...]): one static library of the folder's own .cpp
# files (not its sub-folders).
function(krv_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(NOT srcs)
    # A folder whose code is still to come is an empty static library, so
    # that libraries which depend on each other can already name it.
    set(srcs ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${srcs} "")
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  target_compile_options(${name} PRIVATE -fno-exceptions)
endfunction()

# krv_tool(name [DEPS libs...]): an executable of the folder's .cpp files.
function(krv_tool name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(srcs)
    add_executable(${name} ${srcs})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  endif()
endfunction()

# krv_test_dir(dir [COST seconds] [DEPS libs...]): every tests/<dir>/*_test.cpp
# goes into one GoogleTest executable named test_<dir with / as _>; each test
# case is registered with ctest, with the COST given (ctest -j starts the
# costliest tests first).
function(krv_test_dir dir)
  cmake_parse_arguments(ARG "" "COST" "DEPS" ${ARGN})
  set(cost 0)
  if(ARG_COST)
    set(cost ${ARG_COST})
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  string(REPLACE "/" "_" exe "test_${dir}")
  add_executable(${exe} ${srcs} ${PROJECT_SOURCE_DIR}/tests/sanitizer_defaults.cpp)
  target_link_libraries(${exe} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_include_directories(${exe} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(${exe} PRIVATE KRV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  # g++ 12 at -O3 reports overlapping copies inside std::string's operator+
  # that cannot happen (a false -Wrestrict of its own library); the tests
  # build strings that way, so an optimised test build would not compile.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${exe} PRIVATE -Wno-restrict)
  endif()
  gtest_discover_tests(${exe}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ${KRV_TEST_PROPERTIES} COST ${cost})
endfunction()

# krv_fuzz(name [DEPS libs...]): tests/fuzz/<name>_fuzz.cpp. With KRV_LIBFUZZER
# it is a libFuzzer binary; otherwise it links a small driver that replays the
# seed corpus tests/fuzz/corpus/<name>/, and that replay is a ctest test.
function(krv_fuzz name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  set(src ${CMAKE_CURRENT_SOURCE_DIR}/${name}_fuzz.cpp)
  if(NOT EXISTS ${src})
    return()
  endif()
  if(KRV_LIBFUZZER)
    add_executable(fuzz_${name} ${src})
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(fuzz_${name} ${src} ${CMAKE_CURRENT_SOURCE_DIR}/replay_main.cpp
                   ${PROJECT_SOURCE_DIR}/tests/sanitizer_defaults.cpp)
  endif()
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_DEPS})
  add_test(NAME fuzz_${name} COMMAND fuzz_${name} ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  set_tests_properties(fuzz_${name} PROPERTIES WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  krv_test_env(fuzz_${name})
endfunction()

# krv_bench(name [DEPS libs...]): bench/<name>_bench.cpp on Google Benchmark.
function(krv_bench name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  add_executable(bench_${name} ${CMAKE_CURRENT_SOURCE_DIR}/${name}_bench.cpp)
  target_link_libraries(bench_${name} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
endfunction()
