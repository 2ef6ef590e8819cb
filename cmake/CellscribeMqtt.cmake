# Optional dependencies of publishing to MQTT: libmosquitto (the client) and QtKeychain (the
# window keeps the broker password in the platform's keychain). Each is an option that defaults
# on where its library is found; without them the window and the recorder build without the
# feature.

find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
    pkg_check_modules(MOSQUITTO QUIET IMPORTED_TARGET libmosquitto)
endif()
if(MOSQUITTO_FOUND)
    set(cellscribe_mosquitto_target PkgConfig::MOSQUITTO)
else()
    # vcpkg and hand-made installs often come without a .pc file.
    find_path(MOSQUITTO_INCLUDE_DIR mosquitto.h)
    find_library(MOSQUITTO_LIBRARY NAMES mosquitto libmosquitto)
    if(MOSQUITTO_INCLUDE_DIR AND MOSQUITTO_LIBRARY)
        add_library(cellscribe_libmosquitto UNKNOWN IMPORTED)
        set_target_properties(cellscribe_libmosquitto PROPERTIES
            IMPORTED_LOCATION "${MOSQUITTO_LIBRARY}"
            INTERFACE_INCLUDE_DIRECTORIES "${MOSQUITTO_INCLUDE_DIR}")
        set(cellscribe_mosquitto_target cellscribe_libmosquitto)
    endif()
endif()

if(cellscribe_mosquitto_target)
    set(cellscribe_mqtt_default ON)
else()
    set(cellscribe_mqtt_default OFF)
endif()
option(CELLSCRIBE_MQTT "Publish to MQTT brokers (needs libmosquitto)" ${cellscribe_mqtt_default})
if(CELLSCRIBE_MQTT AND NOT cellscribe_mosquitto_target)
    message(FATAL_ERROR "CELLSCRIBE_MQTT is on but libmosquitto was not found "
                        "(Debian: libmosquitto-dev; vcpkg: mosquitto)")
endif()

set(cellscribe_keychain_default OFF)
if(CELLSCRIBE_MQTT)
    # QtKeychain's target needs Qt's D-Bus module on Linux.
    find_package(Qt6 QUIET OPTIONAL_COMPONENTS DBus)
    find_package(Qt6Keychain QUIET)
    if(Qt6Keychain_FOUND)
        set(cellscribe_keychain_default ON)
    endif()
endif()
option(CELLSCRIBE_KEYCHAIN "Keep the MQTT broker password in the platform keychain (QtKeychain)"
    ${cellscribe_keychain_default})
if(CELLSCRIBE_KEYCHAIN AND NOT Qt6Keychain_FOUND)
    message(FATAL_ERROR "CELLSCRIBE_KEYCHAIN is on but QtKeychain for Qt 6 was not found "
                        "(Debian: qtkeychain-qt6-dev)")
endif()
message(STATUS "MQTT publishing: ${CELLSCRIBE_MQTT}, password in keychain: ${CELLSCRIBE_KEYCHAIN}")
