# The download benchmark's client (scripts/bench-download); built with the tests, never run by CTest.
add_executable(download_bench ${CMAKE_CURRENT_LIST_DIR}/DownloadBenchTool.cpp)
target_link_libraries(download_bench PRIVATE netrefit_download psapi crypt32)
