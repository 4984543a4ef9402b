# End-to-end runs of the real program: a site generated from the stand-in installer, served by
# nginx on 127.0.0.4 for the whole app test binary.
set(e2e_folder ${CMAKE_BINARY_DIR}/e2e)
add_test(NAME e2e.site.start
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e-site start ${CMAKE_SOURCE_DIR}
            ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/StandinSetup.exe ${e2e_folder})
set_tests_properties(e2e.site.start PROPERTIES FIXTURES_SETUP e2e-site
    RESOURCE_LOCK loopback-127.0.0.4)
add_test(NAME e2e.site.stop COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e-site stop ${CMAKE_SOURCE_DIR}
            - ${e2e_folder})
set_tests_properties(e2e.site.stop PROPERTIES FIXTURES_CLEANUP e2e-site
    RESOURCE_LOCK loopback-127.0.0.4)
list(APPEND app_test_fixtures e2e-site)
list(APPEND test_sources ${CMAKE_CURRENT_LIST_DIR}/EndToEnd.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ForeignWindow.cpp)
list(APPEND app_test_libs shlwapi advapi32)
list(APPEND app_test_libs netrefit_md5)
# The same site over https with the tests' own certificate authority, with certificates it
# cannot vouch for, and over plain http on a port of its own: nginx on 127.0.0.29.
add_test(NAME e2e.tls.start
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/tls-site start ${CMAKE_SOURCE_DIR} ${e2e_folder}/site
            ${e2e_folder}/tls)
set_tests_properties(e2e.tls.start PROPERTIES FIXTURES_SETUP e2e-tls FIXTURES_REQUIRED e2e-site
    RESOURCE_LOCK loopback-127.0.0.29)
add_test(NAME e2e.tls.stop
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/tls-site stop ${CMAKE_SOURCE_DIR} - ${e2e_folder}/tls)
set_tests_properties(e2e.tls.stop PROPERTIES FIXTURES_CLEANUP e2e-tls
    RESOURCE_LOCK loopback-127.0.0.29)
list(APPEND app_test_fixtures e2e-tls)
# A forward proxy that asks for a login, on 127.0.0.30:3128; only the proxy cases point the
# prefix's Internet settings at it.
add_test(NAME e2e.proxy.start
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/proxy-site start ${CMAKE_SOURCE_DIR} ${e2e_folder}/proxy)
set_tests_properties(e2e.proxy.start PROPERTIES FIXTURES_SETUP e2e-proxy
    RESOURCE_LOCK loopback-127.0.0.30)
add_test(NAME e2e.proxy.stop
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/proxy-site stop ${CMAKE_SOURCE_DIR} ${e2e_folder}/proxy)
set_tests_properties(e2e.proxy.stop PROPERTIES FIXTURES_CLEANUP e2e-proxy
    RESOURCE_LOCK loopback-127.0.0.30)
list(APPEND app_test_fixtures e2e-proxy)
