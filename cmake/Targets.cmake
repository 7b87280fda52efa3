# Helpers shared by every folder: warnings, one static library per source folder,
# one test binary per test folder.

function(ramptide_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(RAMPTIDE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# The sub-folder that holds a folder's platform-specific sources.
function(ramptide_os_folder out)
    if(WIN32)
        set(${out} win32 PARENT_SCOPE)
    else()
        set(${out} posix PARENT_SCOPE)
    endif()
endfunction()

# The .cpp files of <folder> and of each of its group sub-folders, each with its posix/ or
# win32/ sub-folder.
function(ramptide_sources out folder)
    ramptide_os_folder(os_folder)
    set(globs ${folder}/*.cpp ${folder}/${os_folder}/*.cpp)
    foreach(group IN LISTS ARGN)
        list(APPEND globs ${folder}/${group}/*.cpp ${folder}/${group}/${os_folder}/*.cpp)
    endforeach()
    file(GLOB sources CONFIGURE_DEPENDS ${globs})
    set(${out} ${sources} PARENT_SCOPE)
endfunction()

# ramptide_library(<name> <folder> [GROUPS <sub-folders>...] [DEPS <targets>...])
# Builds every .cpp directly in <folder> and in each group sub-folder plus, on each platform,
# their posix/ or win32/ sub-folders, into the static library ramptide_<name>.
function(ramptide_library name folder)
    cmake_parse_arguments(ARG "" "" "GROUPS;DEPS" ${ARGN})
    ramptide_sources(sources ${folder} ${ARG_GROUPS})
    if(NOT sources)
        # A subsystem whose code has not been written yet: only its dependencies.
        add_library(ramptide_${name} INTERFACE)
        target_link_libraries(ramptide_${name} INTERFACE ${ARG_DEPS})
        return()
    endif()
    add_library(ramptide_${name} STATIC ${sources})
    target_include_directories(ramptide_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(ramptide_${name} PUBLIC ${ARG_DEPS})
    ramptide_warnings(ramptide_${name})
endfunction()

# ramptide_test(<name> <folder> [GROUPS <sub-folders>...] [DEPS <targets>...])
# Every .cpp in <folder> and its group sub-folders (and their posix/ or win32/ sub-folders)
# becomes one GoogleTest binary test_<name>, registered with CTest.
# PROPERTIES: test properties for every case (a RESOURCE_LOCK for tests that bind fixed ports).
function(ramptide_test name folder)
    cmake_parse_arguments(ARG "" "" "GROUPS;DEPS;PROPERTIES" ${ARGN})
    ramptide_sources(sources ${folder} ${ARG_GROUPS})
    if(NOT sources)
        return()
    endif()
    add_executable(test_${name} ${sources})
    target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} ramptide_testsupport GTest::gmock GTest::gtest_main)
    ramptide_warnings(test_${name})
    if(CMAKE_CROSSCOMPILING)
        # Under Wine each binary is one CTest test: discovering cases would start Wine per case.
        add_test(NAME ${name} COMMAND test_${name})
        # The tests talk to the in-process stand-in, never to a client library found on the machine.
        set_tests_properties(${name} PROPERTIES ENVIRONMENT RAMPTIDE_SIM=stand-in ${ARG_PROPERTIES})
    else()
        # A parameterised case is named by its suite's name generator alone: the printed value
        # (raw bytes for most parameters) would make the name change with every build.
        gtest_discover_tests(test_${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${name}." NO_PRETTY_VALUES
                             PROPERTIES ${ARG_PROPERTIES})
    endif()
endfunction()
