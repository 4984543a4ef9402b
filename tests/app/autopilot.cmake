# The demo's autopilot: clicks through the program's windows and pictures them.
add_executable(NetrefitAutopilot ${CMAKE_CURRENT_LIST_DIR}/autopilot/Autopilot.cpp)
target_link_libraries(NetrefitAutopilot PRIVATE netrefit_testsupport)
