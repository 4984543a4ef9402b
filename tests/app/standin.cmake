# The stand-in installer, packed as "Setup.exe" into the modules of the test and demo sites.
add_executable(StandinSetup WIN32 ${CMAKE_CURRENT_LIST_DIR}/standin/StandinSetup.cpp)
target_link_libraries(StandinSetup PRIVATE netrefit_md5)
