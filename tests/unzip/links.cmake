# Folder links in the shared prefix (see tests/support/plant-links), planted again before the
# binaries that look at them: a test that followed one may have changed what it leads to.
add_test(NAME links.plant
    COMMAND ${CMAKE_SOURCE_DIR}/tests/support/plant-links ${NETREFIT_WINEPREFIX})
set_tests_properties(links.plant PROPERTIES FIXTURES_SETUP links FIXTURES_REQUIRED wineprefix)
list(APPEND unzip_test_fixtures links)
