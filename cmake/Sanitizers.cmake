# Sanitizer builds. Included at the end of the top-level CMakeLists.txt, so
# that every target and test already exists.
#
# CMAKE_BUILD_TYPE=Asan: AddressSanitizer (with its leak checker) and
# UndefinedBehaviorSanitizer on every target that links corvane_common, and
# the sanitizer options for every test run by CTest:
#   cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Asan
#   cmake --build build-asan -j2 && ctest --test-dir build-asan
#
# CORVANE_FUZZ=ON (clang only): the library code gets coverage for libFuzzer
# as well, and fuzz/ adds one fuzzer per parser (see fuzz/README.md):
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DCORVANE_FUZZ=ON
option(CORVANE_FUZZ "Build the libFuzzer targets in fuzz/ (clang only)" OFF)

set(CORVANE_SANITIZER_FLAGS
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
set(CORVANE_LSAN_SUPPRESSIONS "${PROJECT_SOURCE_DIR}/tests/sanitizer/lsan.supp")
# The same options for CTest, the fuzz runs and anyone running a program by hand.
set(CORVANE_ASAN_OPTIONS
    "detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1")
set(CORVANE_LSAN_OPTIONS "suppressions=${CORVANE_LSAN_SUPPRESSIONS}:print_suppressions=0")
set(CORVANE_UBSAN_OPTIONS "print_stacktrace=1:halt_on_error=1")

if(CMAKE_BUILD_TYPE STREQUAL "Asan" OR CORVANE_FUZZ)
    # After the build type's own flags, so -O1 also holds in a Debug fuzz build.
    target_compile_options(corvane_common INTERFACE ${CORVANE_SANITIZER_FLAGS} -g -O1)
    target_link_options(corvane_common INTERFACE ${CORVANE_SANITIZER_FLAGS})

    # Test programs started by CTest inherit its environment; this file is read
    # by CTest before any test of the tree runs, also with -R or -L.
    set(_corvane_env_file "${PROJECT_BINARY_DIR}/CorvaneSanitizerEnv.cmake")
    file(WRITE "${_corvane_env_file}"
        "set(ENV{ASAN_OPTIONS} \"${CORVANE_ASAN_OPTIONS}\")\n"
        "set(ENV{LSAN_OPTIONS} \"${CORVANE_LSAN_OPTIONS}\")\n"
        "set(ENV{UBSAN_OPTIONS} \"${CORVANE_UBSAN_OPTIONS}\")\n")
    set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY TEST_INCLUDE_FILES
        "${_corvane_env_file}")
endif()

if(CORVANE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "CORVANE_FUZZ needs clang: CC=clang CXX=clang++ cmake ...")
    endif()
    target_compile_options(corvane_common INTERFACE -fsanitize=fuzzer-no-link)
    add_subdirectory("${PROJECT_SOURCE_DIR}/fuzz" "${PROJECT_BINARY_DIR}/fuzz")
endif()
