# Sanitizer and fuzzing builds, switched on through tavik_common_cfg so that every project target
# (libraries, programs, tests) is built the same way.
#
#   TAVIK_SANITIZE=ON : AddressSanitizer and UndefinedBehaviorSanitizer; undefined behaviour aborts.
#   TAVIK_FUZZ=ON     : the libFuzzer targets of tests/fuzz (clang only). It implies TAVIK_SANITIZE
#                       and adds coverage instrumentation to all project code, so that the fuzzers
#                       are guided by the libraries they exercise, not only by their own sources.
#
# Qt and the system libraries are not instrumented; reports that come from them alone are
# suppressed by the files in cmake/sanitizers/, which every test gets through its environment.
option(TAVIK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TAVIK_FUZZ "Build the libFuzzer targets in tests/fuzz (needs clang)" OFF)
set(TAVIK_FUZZ_SECONDS 60 CACHE STRING "How long each fuzz test runs, in seconds")

if(TAVIK_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TAVIK_FUZZ=ON needs clang (libFuzzer); configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    if(NOT TAVIK_SANITIZE)
        message(STATUS "TAVIK_FUZZ=ON also turns on TAVIK_SANITIZE")
        set(TAVIK_SANITIZE ON CACHE BOOL "" FORCE)
    endif()
endif()

if(TAVIK_SANITIZE)
    set(tavik_sanitize_flags -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_compile_options(tavik_common_cfg INTERFACE ${tavik_sanitize_flags})
    target_link_options(tavik_common_cfg INTERFACE ${tavik_sanitize_flags})
endif()

if(TAVIK_FUZZ)
    # Coverage counters and comparison tracing in every object file; the libFuzzer runtime itself
    # is linked only into the fuzz targets (-fsanitize=fuzzer there).
    target_compile_options(tavik_common_cfg INTERFACE -fsanitize=fuzzer-no-link)
endif()

# The environment of every test in a sanitizer build: the options and the suppression files.
# tavik_add_test adds it (tavik_sanitizer_test below); scripts/check.sh exports the same for
# tests added by other means.
set(tavik_sanitizer_dir "${CMAKE_CURRENT_LIST_DIR}/sanitizers")
set(TAVIK_SANITIZER_TEST_ENV "")
if(TAVIK_SANITIZE)
    set(TAVIK_SANITIZER_TEST_ENV
        "ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
        "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:suppressions=${tavik_sanitizer_dir}/ubsan.supp"
        "LSAN_OPTIONS=suppressions=${tavik_sanitizer_dir}/lsan.supp:print_suppressions=0")
endif()

# Prepares test @p name for a sanitizer build: the environment above, and a time limit three
# times the usual one, since instrumented code runs two to three times slower.
function(tavik_sanitizer_test name)
    if(NOT TAVIK_SANITIZE)
        return()
    endif()
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT ${TAVIK_SANITIZER_TEST_ENV})
    get_test_property(${name} TIMEOUT timeout)
    if(timeout)
        math(EXPR timeout "${timeout} * 3")
        set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout})
    endif()
endfunction()
