# The Windows download: oskelon-<version>-win64.zip with both programs and a short readme (CR LF
# line ends, so that Notepad on every Windows version shows it right). Built by `cpack` in the
# windows build directory (scripts/build-windows.sh).
configure_file(${PROJECT_SOURCE_DIR}/docs/windows-readme.txt ${PROJECT_BINARY_DIR}/README.txt
               NEWLINE_STYLE CRLF)
install(TARGETS oskelon-cli RUNTIME DESTINATION .)
if(TARGET oskelon)
    install(TARGETS oskelon RUNTIME DESTINATION .)
endif()
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME oskelon)
set(CPACK_PACKAGE_VENDOR Fenwarren)
set(CPACK_PACKAGE_FILE_NAME oskelon-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
include(CPack)
