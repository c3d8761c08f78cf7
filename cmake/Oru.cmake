# Common settings and helpers for every target of the project.

if(WIN32)
    # -static keeps libwinpthread out of the import table: without it the programs
    # exit silently under Wine when the DLL cannot be found.
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
    add_link_options(-static -static-libgcc -static-libstdc++)
    set(ORU_PLATFORM_SUFFIX Windows)
else()
    set(ORU_PLATFORM_SUFFIX Posix)
endif()

add_compile_options(-Wall -Wextra -Wno-unused-parameter)

if(ORU_SANITIZE AND NOT WIN32)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

# GoogleTest: Debian's packaged libraries natively; built from Debian's sources for mingw.
if(WIN32)
    if(NOT TARGET gtest)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
        add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    endif()
    if(NOT TARGET GTest::gtest_main)
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
        add_library(GTest::gmock ALIAS gmock)
    endif()
else()
    find_package(GTest REQUIRED)
endif()

# Windows test programs run under Wine inside one pre-started Wine session (the
# "wine" fixture) with a private prefix in the build folder.
# A 32-bit program under wine64 fails to start yet exits 0, so only the x86_64
# build ever gets an emulator.
if(WIN32 AND CMAKE_CROSSCOMPILING AND ORU_RUN_TESTS AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ORU_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(ORU_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run.sh)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ORU_WINE_RUN})
    add_test(NAME wine_session_start COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-session.sh start ${ORU_WINEPREFIX})
    add_test(NAME wine_session_stop COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-session.sh stop ${ORU_WINEPREFIX})
    set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
    set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
endif()

# oru_add_gtest(name SOURCES ... LIBS ...): one test program, one ctest entry.
function(oru_add_gtest name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} oru_test_support GTest::gmock GTest::gtest_main)
    if(NOT ORU_RUN_TESTS)
        return()
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    # A zone away from UTC, with no summer time to make an hour flaky: on a UTC machine a
    # mix-up of local and universal file times would otherwise pass unseen.
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "TZ=EST5")
    if(ARG_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
    oru_wine_test(${name})
endfunction()

# Marks a test as needing the Wine session (a no-op for native builds).
function(oru_wine_test testname)
    if(ORU_WINE_RUN)
        set_tests_properties(${testname} PROPERTIES FIXTURES_REQUIRED wine)
    endif()
endfunction()

# Source directory root, for includes like "platform/Files.h".
set(ORU_SRC ${CMAKE_SOURCE_DIR}/src)
