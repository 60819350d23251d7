# The Linux package: `cpack -G DEB` in a release build gives oskelon_<version>_amd64.deb with
# both programs, the icon, the desktop entry and the README, its library dependencies found by
# dpkg-shlibdeps. scripts/package-deb.sh builds, installs and tries it.
include(GNUInstallDirs)
install(TARGETS oskelon-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME oskelon)
set(CPACK_PACKAGE_VENDOR Fenwarren)
set(CPACK_PACKAGE_CONTACT "Fenwarren <oskelon@fenwarren.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pi benchmark for the desktop")
set(CPACK_PACKAGE_DESCRIPTION
    "Computes pi to one of twelve sizes (16,384 to 33,554,432 digits), times the run, verifies
the digits, writes them to pi.dat and keeps the best time per size. A desktop window (oskelon)
and a headless runner with a stability test for every CPU (oskelon-cli).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")  # the window's X11 platform
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
include(CPack)
