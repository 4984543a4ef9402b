# Archives made by real tools (Info-ZIP zip, 7z, Python's zipfile) and Info-ZIP unzip's own
# extraction of each, built on the host beside the test binaries.
set(unzip_archive_dir ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/unzip-archives)
add_custom_command(
    OUTPUT ${unzip_archive_dir}/stamp
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/make-archives ${unzip_archive_dir}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/make-archives
    COMMENT "Building test archives with zip, 7z and Python"
    VERBATIM)
add_custom_target(unzip_archives ALL DEPENDS ${unzip_archive_dir}/stamp)
list(APPEND unzip_test_libs z)

# Small extraction tool for the benchmark script.
add_executable(zipextract ZipExtractTool.cpp)
target_link_libraries(zipextract PRIVATE netrefit_unzip psapi)
