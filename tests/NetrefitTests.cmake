# One Wine prefix per build folder, made once before any test binary runs and stopped at the end.
add_test(NAME wineprefix.prepare COMMAND ${CMAKE_SOURCE_DIR}/scripts/prepare-prefix ${NETREFIT_WINEPREFIX})
set_tests_properties(wineprefix.prepare PROPERTIES FIXTURES_SETUP wineprefix RESOURCE_LOCK wineprefix-all)
add_test(NAME wineprefix.stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/stop-prefix ${NETREFIT_WINEPREFIX})
set_tests_properties(wineprefix.stop PROPERTIES FIXTURES_CLEANUP wineprefix RESOURCE_LOCK wineprefix-all)

# netrefit_add_gtest(NAME SOURCES ... LIBS ... [LOCKS ...] [FIXTURES ...] [TIMEOUT s])
# One CTest case per test binary, run under Wine in the shared prefix.
# LOCKS names shared state the binary changes (the registry key it writes, the loopback
# address whose port 80 it binds), so that two binaries touching the same state never overlap.
function(netrefit_add_gtest name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LOCKS;FIXTURES" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 600)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} netrefit_testsupport GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE NETREFIT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set(fixtures wineprefix ${T_FIXTURES})
    set_tests_properties(${name} PROPERTIES
        FIXTURES_REQUIRED "${fixtures}"
        TIMEOUT ${T_TIMEOUT}
        WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
    if(T_LOCKS)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
    endif()
endfunction()

# netrefit_test_folder(NAME LIBS ... LOCKS ... [TIMEOUT s])
# The folder's *Tests.cpp make the test binary NAME_tests. Its *.cmake fragments may add
# sources (test_sources), libraries, locks and fixtures (NAME_test_libs, NAME_test_locks,
# NAME_test_fixtures) and helper targets of their own.
macro(netrefit_test_folder name)
    cmake_parse_arguments(F "" "TIMEOUT" "LIBS;LOCKS" ${ARGN})
    file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Tests.cpp)
    file(GLOB fragments CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cmake)
    foreach(fragment ${fragments})
        include(${fragment})
    endforeach()
    set(timeout_argument)
    if(F_TIMEOUT)
        set(timeout_argument TIMEOUT ${F_TIMEOUT})
    endif()
    if(test_sources)
        netrefit_add_gtest(${name}_tests
            SOURCES ${test_sources}
            LIBS ${F_LIBS} ${${name}_test_libs}
            LOCKS ${F_LOCKS} ${${name}_test_locks}
            FIXTURES ${${name}_test_fixtures}
            ${timeout_argument})
    endif()
endmacro()
