# Install layout: the application, its tools and protocols/ share one directory, because the
# application looks for protocols/ beside its executable. On Linux that directory is
# /opt/cellscribe by default, with launchers, the desktop entry and the icon in the system's
# standard places (CELLSCRIBE_SYSTEM_PREFIX, /usr by default).
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT AND UNIX AND NOT APPLE)
    set(CMAKE_INSTALL_PREFIX "/opt/cellscribe" CACHE PATH "Install directory" FORCE)
endif()

set(cellscribe_installed cellscribe)
foreach(tool cellscribe-record cellscribe-protocol cellscribe-bms-sim)
    if(TARGET ${tool})
        list(APPEND cellscribe_installed ${tool})
    endif()
endforeach()

install(TARGETS ${cellscribe_installed} RUNTIME DESTINATION . COMPONENT cellscribe)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/protocols/" DESTINATION protocols
    COMPONENT cellscribe FILES_MATCHING PATTERN "*.json")

if(NOT UNIX OR APPLE)
    return()
endif()

option(CELLSCRIBE_INSTALL_DESKTOP "Install launchers, desktop entry and icon on Linux" ON)
set(CELLSCRIBE_SYSTEM_PREFIX "/usr" CACHE PATH
    "Where the launchers, the desktop entry and the icon go (absolute)")
if(NOT CELLSCRIBE_INSTALL_DESKTOP)
    return()
endif()

# Launchers on the PATH: symbolic links into the install directory. The executables find
# protocols/ all the same, since their own path is resolved through the link.
set(launcher_dir "${PROJECT_BINARY_DIR}/launchers")
file(MAKE_DIRECTORY "${launcher_dir}")
set(launchers)
foreach(exe ${cellscribe_installed})
    file(CREATE_LINK "${CMAKE_INSTALL_PREFIX}/${exe}" "${launcher_dir}/${exe}" SYMBOLIC)
    list(APPEND launchers "${launcher_dir}/${exe}")
endforeach()
install(FILES ${launchers} DESTINATION "${CELLSCRIBE_SYSTEM_PREFIX}/bin" COMPONENT cellscribe)

configure_file("${PROJECT_SOURCE_DIR}/resources/linux/cellscribe.desktop.in"
    "${PROJECT_BINARY_DIR}/cellscribe.desktop" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/cellscribe.desktop"
    DESTINATION "${CELLSCRIBE_SYSTEM_PREFIX}/share/applications" COMPONENT cellscribe)
# The recorder as a service, one instance per pack, and an example of its arguments.
configure_file("${PROJECT_SOURCE_DIR}/resources/linux/cellscribe-record@.service.in"
    "${PROJECT_BINARY_DIR}/cellscribe-record@.service" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/cellscribe-record@.service"
    DESTINATION "${CELLSCRIBE_SYSTEM_PREFIX}/lib/systemd/system" COMPONENT cellscribe)
install(FILES "${PROJECT_SOURCE_DIR}/resources/linux/record.conf" DESTINATION examples
    COMPONENT cellscribe)
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION . COMPONENT cellscribe)
install(FILES "${PROJECT_SOURCE_DIR}/resources/icons/app.png"
    DESTINATION "${CELLSCRIBE_SYSTEM_PREFIX}/share/icons/hicolor/64x64/apps"
    RENAME cellscribe.png COMPONENT cellscribe)
