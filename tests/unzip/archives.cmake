# Archives made by real tools (Info-ZIP zip, bsdtar, 7z, Python's zipfile) and the input files of
# each, built on the host beside the test binaries.
set(unzip_archive_dir ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/unzip-archives)
add_custom_command(
    OUTPUT ${unzip_archive_dir}/stamp
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/make-archives ${unzip_archive_dir}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/make-archives
    COMMENT "Building test archives with zip, bsdtar, 7z and Python"
    VERBATIM)
add_custom_target(unzip_archives ALL DEPENDS ${unzip_archive_dir}/stamp)
list(APPEND unzip_test_libs z)

# Small extraction tool for the benchmark script.
add_executable(zipextract ZipExtractTool.cpp)
target_link_libraries(zipextract PRIVATE netrefit_unzip psapi)

# Member names in code page 932: the same binary under the Japanese locale, where Wine gives the
# program that ANSI code page.
add_test(NAME unzip_tests.Japanese
    COMMAND unzip_tests --gtest_color=no --gtest_filter=DoubleByteNames.*)
set_tests_properties(unzip_tests.Japanese PROPERTIES
    ENVIRONMENT "LC_ALL=ja_JP.UTF-8;LANG=ja_JP.UTF-8"
    FIXTURES_REQUIRED wineprefix
    RESOURCE_LOCK named-events
    TIMEOUT 300
    WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
