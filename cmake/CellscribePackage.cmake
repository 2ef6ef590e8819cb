# Debian package: cpack -G DEB in a Release build (scripts/package). Windows deploys with
# windeployqt instead (docs/building.md).
if(NOT UNIX OR APPLE)
    return()
endif()

set(CPACK_PACKAGE_NAME "cellscribe")
set(CPACK_PACKAGE_VENDOR "Cellscribe")
set(CPACK_PACKAGE_CONTACT "Cellscribe maintainers <cellscribe@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Polls a battery management system over a serial port, decodes its responses with a\n"
    "protocol file and shows cell voltages, current, temperatures and the work state live,\n"
    "with a real-time table that exports to CSV. Includes cellscribe-record (the same\n"
    "acquisition without a window, with a systemd service per pack), cellscribe-protocol (a\n"
    "protocol author's tool) and cellscribe-bms-sim (a BMS simulator on a pseudo-terminal).")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Library dependencies come from dpkg-shlibdeps; the platform plugins are loaded at run time,
# so no library names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The interface is Chinese by default.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")

include(CPack)
