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
)
target_link_libraries(unit_tests PRIVATE patchtool_lib GTest::gtest_main)
gtest_discover_tests(unit_tests)

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_executable(update_script_fuzz tests/fuzz/update_script_fuzz.cpp)
  target_compile_options(update_script_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_options(update_script_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_libraries(update_script_fuzz PRIVATE patch_format)
  add_executable(check_fuzz tests/fuzz/check_fuzz.cpp)
  target_compile_options(check_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_options(check_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_libraries(check_fuzz PRIVATE patchtool_lib)
endif()

find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(script_parse_bench bench/script_parse_bench.cpp)
  target_link_libraries(script_parse_bench PRIVATE patch_format benchmark::benchmark)
endif()
