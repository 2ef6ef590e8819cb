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

# lld (else gold) links the many test executables of a Debug build several times faster than
# the default linker.
option(CELLSCRIBE_FAST_LINKER "Link with lld or gold where the compiler offers them" ON)
if(CELLSCRIBE_FAST_LINKER AND NOT MSVC AND NOT WIN32 AND NOT APPLE)
    include(CheckLinkerFlag)
    check_linker_flag(CXX "-fuse-ld=lld" cellscribe_have_lld)
    if(cellscribe_have_lld)
        target_link_options(cellscribe_warnings INTERFACE -fuse-ld=lld)
    else()
        check_linker_flag(CXX "-fuse-ld=gold" cellscribe_have_gold)
        if(cellscribe_have_gold)
            target_link_options(cellscribe_warnings INTERFACE -fuse-ld=gold)
        endif()
    endif()
endif()
