# The publisher's tests: module archives made by Info-ZIP from the stand-in installer, and nginx
# on 127.0.0.7 serving the folder the tests make their sites in.
set(publish_folder ${CMAKE_BINARY_DIR}/publish-site)
add_test(NAME publish.site.start
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/publish-site start ${CMAKE_SOURCE_DIR}
            ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/StandinSetup.exe ${publish_folder})
set_tests_properties(publish.site.start PROPERTIES FIXTURES_SETUP publish-site
    RESOURCE_LOCK loopback-127.0.0.7)
add_test(NAME publish.site.stop
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/publish-site stop ${CMAKE_SOURCE_DIR} - ${publish_folder})
set_tests_properties(publish.site.stop PROPERTIES FIXTURES_CLEANUP publish-site
    RESOURCE_LOCK loopback-127.0.0.7)
list(APPEND publish_test_fixtures publish-site)
# The client's end-to-end driver, and the hostile-archive writer of the zip tests.
list(APPEND test_sources ${CMAKE_CURRENT_LIST_DIR}/../app/EndToEnd.cpp)
list(APPEND publish_test_libs netrefit_md5 netrefit_signature shlwapi advapi32 z)
