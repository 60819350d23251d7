# The Windows build's tests, cross-built and run through Wine (CMAKE_CROSSCOMPILING_EMULATOR).
# Windows has no GMP or MPFR, so the suites that use them as oracles run on Linux only; here run
# the suites whose oracles are portable (the naive transform, exact integer products), the store
# against Wine's registry, and a comparison of every floating-point result and of pi.dat with the
# Linux build's (OSKELON_NATIVE_BUILD_DIR: a Linux build of the same tree).
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
find_path(OSKELON_GOOGLETEST_SOURCE_DIR CMakeLists.txt PATHS /usr/src/googletest
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_subdirectory(${OSKELON_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(OSKELON_NATIVE_BUILD_DIR "" CACHE PATH
    "A Linux build of this tree whose results the Windows build must reproduce")

# One Wine prefix for the whole run, made fresh by the first test and ended by the last.
set(oskelon_wine_prefix ${CMAKE_BINARY_DIR}/wine-prefix)
set(oskelon_wine_environment "WINEPREFIX=${oskelon_wine_prefix}" "WINEDEBUG=-all")
add_test(NAME wine_prefix_setup
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-prefix.sh --fresh ${oskelon_wine_prefix})
add_test(NAME wine_prefix_cleanup
    COMMAND sh -c "WINEPREFIX='${oskelon_wine_prefix}' wineserver -k || true")
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine)

# oskelon_add_windows_suite(<name> LABEL <label> SOURCES <files...> LIBS <libs...>): one CTest
# test per suite (each start of a program under Wine costs a fraction of a second).
function(oskelon_add_windows_suite name)
    cmake_parse_arguments(arg "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${arg_SOURCES})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest_main)
    oskelon_windows_executable(${name})  # the product's manifest: the same version data
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 600)
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES LABELS ${arg_LABEL} FIXTURES_REQUIRED wine
        ENVIRONMENT "${oskelon_wine_environment}" TIMEOUT ${arg_TIMEOUT})
endfunction()

oskelon_add_windows_suite(fft_tests LABEL fft
    SOURCES
        fft/fixed_kernels_test.cpp
        fft/bit_reverse_test.cpp
        fft/complex_fft_test.cpp
        fft/fft_paths_test.cpp
        fft/fft_threads_test.cpp
    LIBS oskelon_fft)

oskelon_add_windows_suite(parallel_tests LABEL parallel
    SOURCES parallel/work_pool_test.cpp
    LIBS oskelon_parallel)

oskelon_add_windows_suite(records_tests LABEL records
    SOURCES records/registry_windows_test.cpp
    LIBS oskelon_calc)
# The store's tests reset the user's one records key: nothing else may use it meanwhile.
set_tests_properties(records_tests PROPERTIES RESOURCE_LOCK oskelon_registry)

include(cli/windows_tests.cmake)

oskelon_add_windows_suite(calc_tests LABEL calc
    SOURCES calc/result_code_test.cpp calc/os_version_windows_test.cpp calc/threads_job_test.cpp
        calc/thread_records_test.cpp
    LIBS oskelon_calc)
# The thread tests keep records: the store's one key again.
set_tests_properties(calc_tests PROPERTIES RESOURCE_LOCK oskelon_registry)

# Every transform, radix-test value and product, and pi.dat with its checkpoints, bit for bit as
# on Linux.
if(OSKELON_NATIVE_BUILD_DIR)
    add_test(NAME SameResultsAsLinux
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/same_results_test.sh
            ${OSKELON_NATIVE_BUILD_DIR} $<TARGET_FILE:oskelon-fingerprint>
            $<TARGET_FILE:oskelon-cli> 0 2 4 5)
    set_tests_properties(SameResultsAsLinux PROPERTIES LABELS mp FIXTURES_REQUIRED wine
        ENVIRONMENT "${oskelon_wine_environment}" TIMEOUT 600 RESOURCE_LOCK oskelon_registry)
endif()

if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/win/CMakeLists.txt)
    add_subdirectory(win)
endif()
