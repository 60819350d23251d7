# The runner's suite in the Windows build, run through Wine; include()d by the Windows test setup
# after oskelon_add_windows_suite is defined. The store tests that need SQLite, fork or mount
# namespaces (store_faults_test.cpp) stay Linux-only.
oskelon_add_windows_suite(cli_tests LABEL cli TIMEOUT 1800
    SOURCES
        ${PROJECT_SOURCE_DIR}/tests/cli/cli_test.cpp
        ${PROJECT_SOURCE_DIR}/tests/cli/stop_storm_test.cpp
        ${PROJECT_SOURCE_DIR}/tests/cli/stability_plan_test.cpp
        ${PROJECT_SOURCE_DIR}/tests/cli/stability_test.cpp
        ${PROJECT_SOURCE_DIR}/tests/cli/threads_cli_test.cpp
        ${PROJECT_SOURCE_DIR}/tests/cli/run_process_windows.cpp
    LIBS oskelon_cli_support)
target_include_directories(cli_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(cli_tests PRIVATE OSKELON_CLI_PATH="$<TARGET_FILE:oskelon-cli>")
add_dependencies(cli_tests oskelon-cli)
# Every test resets the user's one records key (TempDir): nothing else may use it meanwhile.
set_tests_properties(cli_tests PROPERTIES RESOURCE_LOCK oskelon_registry)
