# The upgrade benchmark's driver (scripts/bench-upgrade); not a test.
add_executable(NetrefitUpgradeBench ${CMAKE_CURRENT_LIST_DIR}/bench/UpgradeBench.cpp)
target_link_libraries(NetrefitUpgradeBench PRIVATE netrefit_testsupport)
