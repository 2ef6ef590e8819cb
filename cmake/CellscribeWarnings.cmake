# Flags shared by every target of the project: link this interface target PRIVATE.
add_library(cellscribe_warnings INTERFACE)
if(MSVC)
    target_compile_options(cellscribe_warnings INTERFACE /W4 /utf-8)
else()
    target_compile_options(cellscribe_warnings INTERFACE -Wall -Wextra)
endif()
target_compile_definitions(cellscribe_warnings INTERFACE
    QT_NO_FOREACH
    QT_USE_QSTRINGBUILDER)

if(CELLSCRIBE_SANITIZE AND NOT MSVC)
    target_compile_options(cellscribe_warnings INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(cellscribe_warnings INTERFACE -fsanitize=address,undefined)
endif()

# Fuzzing instruments every project target for coverage; only the fuzz targets link libFuzzer.
if(CELLSCRIBE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "CELLSCRIBE_FUZZ needs clang (CC=clang CXX=clang++)")
    endif()
    target_compile_options(cellscribe_warnings INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined -gline-tables-only)
    target_link_options(cellscribe_warnings INTERFACE -fsanitize=address,undefined)
endif()
