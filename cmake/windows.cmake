# Windows build: updater.exe and the end-to-end suite that drives it under Wine.
enable_language(RC)
# No link time in the PE headers, so that a rebuild gives the same bytes.
add_link_options(-Wl,--no-insert-timestamp)
set(resources ${CMAKE_CURRENT_SOURCE_DIR}/src/updater/ui/resources)
# The manifest as written, less its comments and indentation, which would cost updater.exe a
# file-aligned block of its 32 KiB.
file(READ ${resources}/updater.manifest.in manifest_text)
string(CONFIGURE "${manifest_text}" manifest_text @ONLY)
string(REGEX REPLACE "<!--[^>]*-->" "" manifest_text "${manifest_text}")
string(REGEX REPLACE "\n[ ]+" "\n" manifest_text "${manifest_text}")
string(REGEX REPLACE "[ ]+\n" "\n" manifest_text "${manifest_text}")
file(CONFIGURE OUTPUT ${GENERATED_DIR}/updater.manifest CONTENT "${manifest_text}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${resources}/updater.manifest.in)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${resources} -I${GENERATED_DIR}")

# Small and self-contained: no C++ runtime features, static libgcc/libstdc++,
# so that only DLLs Windows ships are imported. The format library is built the same way.
# The small code model reaches the program's own data directly, where the default reaches
# it through pointers that the loader relocates: updater.exe has no relocations left, and
# its header, which does not say they were stripped, lets Windows load it at any address.
set(FORMAT_OPTIONS -Oz -Wall -Wextra -Werror -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
  -ffunction-sections -mcmodel=small)
set(UPDATER_SOURCES
  src/updater/main.cpp
  src/updater/update_run.cpp
  src/updater/script_file.cpp
  src/updater/install_record.cpp
  src/updater/copy/copy_entry.cpp
  src/updater/copy/delta_entry.cpp
  src/updater/cleanup.cpp
  src/updater/launch.cpp
  src/updater/same_file.cpp
  src/updater/run_lock.cpp
  src/updater/run_log.cpp
  src/updater/copy/space_check.cpp
  src/updater/command_line.cpp
  src/updater/shell_start.cpp
  src/updater/copy/elevated_copy.cpp
  src/updater/copy/patch_crypto.cpp
  src/updater/copy/patch_trust.cpp
  src/updater/copy/install_folder.cpp
  src/updater/copy/held_folders.cpp
  src/updater/ui/notice.cpp
  src/updater/ui/copy_dialog.cpp
  src/updater/ui/path_dialog.cpp
)
add_library(updater_objects OBJECT ${UPDATER_SOURCES})
target_compile_definitions(updater_objects PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
target_compile_options(updater_objects PRIVATE ${FORMAT_OPTIONS})
target_include_directories(updater_objects PRIVATE src ${GENERATED_DIR})

# The patch key an updater.exe is built with: the X and Y of a SubjectPublicKeyInfo PEM file,
# read with openssl; an empty name builds an updater without a key.
include(cmake/patch_key.cmake)
set(UPDATER_PATCH_KEY "" CACHE FILEPATH "The vendor's public patch key (KEY.pub); updater.exe then installs only patches it signed")

# updater.exe as shipped, and keyed/updater.exe with the tests' throwaway key for the suite.
foreach(variant updater updater_keyed)
  set(key ${UPDATER_PATCH_KEY})
  if(variant STREQUAL updater_keyed)
    set(key ${CMAKE_CURRENT_SOURCE_DIR}/tests/keys/vendor.pem.pub)
  endif()
  write_patch_key_source("${key}" ${GENERATED_DIR}/${variant}_key.cpp)
  add_executable(${variant} WIN32 $<TARGET_OBJECTS:updater_objects> ${GENERATED_DIR}/${variant}_key.cpp
                 src/updater/ui/resources/updater.rc)
  target_include_directories(${variant} PRIVATE src)
  target_compile_options(${variant} PRIVATE ${FORMAT_OPTIONS})
  target_link_options(${variant} PRIVATE -static -s -Wl,--gc-sections -nostartfiles -Wl,-e,updaterStart)
  target_link_libraries(${variant} PRIVATE patch_format ntdll)
  # GNU ld 2.40 leaves the load configuration unset: it is set after the link.
  add_custom_command(TARGET ${variant} POST_BUILD
    COMMAND perl ${CMAKE_CURRENT_SOURCE_DIR}/scripts/set_load_config.pl $<TARGET_FILE:${variant}>)
endforeach()
set_target_properties(updater_keyed PROPERTIES OUTPUT_NAME updater RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/keyed)
set_source_files_properties(src/updater/ui/resources/updater.rc PROPERTIES
  OBJECT_DEPENDS "${GENERATED_DIR}/updater.manifest;${GENERATED_DIR}/version.h;${resources}/resource.h")

# The vendor's tool for Windows: the standard library is welcome here.
add_executable(patchtool ${PATCHTOOL_SOURCES} src/patchtool/signing_cng.cpp src/patchtool/main.cpp)
target_link_libraries(patchtool PRIVATE patch_format bcrypt)
target_include_directories(patchtool PRIVATE ${GENERATED_DIR})
target_link_options(patchtool PRIVATE -static -s)

# GoogleTest from the sources Debian installs, built with the posix-thread compiler.
set(GTEST_SOURCE_DIR /usr/src/googletest/googletest CACHE PATH "GoogleTest sources")
add_library(gtest_windows STATIC ${GTEST_SOURCE_DIR}/src/gtest-all.cc ${GTEST_SOURCE_DIR}/src/gtest_main.cc)
target_include_directories(gtest_windows PUBLIC ${GTEST_SOURCE_DIR}/include PRIVATE ${GTEST_SOURCE_DIR})

add_executable(fake_game tests/e2e/fake_game.cpp)
set_target_properties(fake_game PROPERTIES WIN32_EXECUTABLE ON)
target_link_options(fake_game PRIVATE -static)
add_executable(admin_game tests/e2e/fake_game.cpp tests/e2e/admin_game.rc)
set_target_properties(admin_game PROPERTIES WIN32_EXECUTABLE ON)
set_source_files_properties(tests/e2e/admin_game.rc PROPERTIES OBJECT_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/admin_game.manifest)
target_link_options(admin_game PRIVATE -static)

add_executable(e2e_tests tests/e2e/harness.cpp tests/e2e/cases_test.cpp)
target_include_directories(e2e_tests PRIVATE ${resources})
target_link_libraries(e2e_tests PRIVATE gtest_windows comctl32 bcrypt)
target_link_options(e2e_tests PRIVATE -static)
add_library(marker_dll SHARED tests/e2e/marker_dll.cpp)
set_target_properties(marker_dll PROPERTIES PREFIX "")
target_link_options(marker_dll PRIVATE -static)
add_dependencies(e2e_tests updater updater_keyed fake_game admin_game marker_dll)
# The throwaway keys the rows sign with, and the Unix helper of the race rows, beside the suite.
add_custom_command(TARGET e2e_tests POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_CURRENT_SOURCE_DIR}/tests/keys ${CMAKE_BINARY_DIR}/keys
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/open_race.pl ${CMAKE_BINARY_DIR})

# Each group of rows is a ctest entry of its own, run under Wine (the toolchain's emulator).
# Wine prefers its builtin DLLs; the override makes it take a planted comctl32 as Windows would.
foreach(group Roads PathDialog RunEntries Record Faults Unpacked WholeFiles Protected Elevated Unicode Signed Log Deltas)
  add_test(NAME e2e.${group}
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:e2e_tests> --gtest_filter=${group}/*)
  set_tests_properties(e2e.${group} PROPERTIES TIMEOUT 600 ENVIRONMENT "WINEDLLOVERRIDES=comctl32=n,b")
endforeach()
# patchtool.exe builds and checks a patch that updater.exe then installs; so does the Linux
# patchtool of the native preset, which the test command builds first.
add_test(NAME e2e.PatchtoolRoundTrip
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/patchtool_roundtrip.sh $<TARGET_FILE_DIR:updater>
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/keys ${CMAKE_CURRENT_SOURCE_DIR}/build/native/patchtool)
set_tests_properties(e2e.PatchtoolRoundTrip PROPERTIES TIMEOUT 300)
add_dependencies(e2e_tests patchtool)

# updater.exe stays small and imports only DLLs that Windows ships. 32 KiB held every stage;
# the run's log for the vendor's support takes 3.5 KiB more, the VCDIFF decoder 5 KiB.
set(UPDATER_MAX_BYTES 40960)
# The keyed one is what a vendor ships.
foreach(variant updater updater_keyed)
  add_test(NAME ${variant}.binary
    COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:${variant}> -DOBJDUMP=${CMAKE_OBJDUMP}
            -DMAX_BYTES=${UPDATER_MAX_BYTES} -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/check_binary.cmake)
endforeach()

# Answers the demo's dialogs when there is no one at the screen.
add_executable(demo_driver demo/demo_driver.cpp)
target_link_options(demo_driver PRIVATE -static)

# Benchmark helpers (scripts/bench.sh).
add_executable(copy_probe bench/copy_probe.cpp)
target_link_options(copy_probe PRIVATE -static)
add_executable(as_player bench/as_player.cpp)
target_link_options(as_player PRIVATE -static)
add_executable(reference_copy bench/reference_copy.cpp)
target_link_options(reference_copy PRIVATE -static)
add_executable(hash_files bench/hash_files.cpp)
target_link_libraries(hash_files PRIVATE bcrypt)
target_link_options(hash_files PRIVATE -static)
add_executable(desktop_keeper WIN32 bench/desktop_keeper.cpp)
target_link_options(desktop_keeper PRIVATE -static)
