# Native build: the portable logic and its unit tests, with sanitizers; the
# fuzz target when the compiler is clang; benchmarks when Google Benchmark is there.
option(UPDATER_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
if(UPDATER_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
add_compile_options(-Wall -Wextra -Werror)

# OpenSSL's libcrypto linked in, so that the kit's patchtool needs nothing but the C library.
find_path(OPENSSL_HEADERS openssl/evp.h REQUIRED)
find_library(LIBCRYPTO_ARCHIVE libcrypto.a REQUIRED)
add_library(patchtool_lib STATIC ${PATCHTOOL_SOURCES} src/patchtool/signing_openssl.cpp)
target_include_directories(patchtool_lib PRIVATE ${OPENSSL_HEADERS})
target_link_libraries(patchtool_lib PUBLIC patch_format ${LIBCRYPTO_ARCHIVE} ${CMAKE_DL_LIBS} pthread)
target_include_directories(patchtool_lib PRIVATE ${GENERATED_DIR})
add_executable(patchtool src/patchtool/main.cpp)
target_link_libraries(patchtool PRIVATE patchtool_lib)

find_package(GTest REQUIRED)
include(GoogleTest)
add_executable(unit_tests
  tests/unit/update_script_test.cpp
  tests/unit/rules_test.cpp
  tests/unit/patchtool_test.cpp
  tests/unit/manifest_test.cpp
  tests/unit/installation_proof_test.cpp
  tests/unit/vcdiff_test.cpp
)
target_link_libraries(unit_tests PRIVATE patchtool_lib GTest::gtest_main)
gtest_discover_tests(unit_tests)

# The fuzz targets (clang): every library they call is instrumented for coverage too, so that
# libFuzzer steers by the reader's and check's own branches, not only the harness's.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(FORMAT_OPTIONS -fsanitize=fuzzer-no-link)  # patch_format, defined after this file
  target_compile_options(patchtool_lib PRIVATE -fsanitize=fuzzer-no-link)
  foreach(target update_script_fuzz check_fuzz manifest_fuzz vcdiff_fuzz)
    add_executable(${target} tests/fuzz/${target}.cpp)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${target} PRIVATE patchtool_lib)
  endforeach()
endif()

find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(script_parse_bench bench/script_parse_bench.cpp)
  target_link_libraries(script_parse_bench PRIVATE patch_format benchmark::benchmark)
endif()
