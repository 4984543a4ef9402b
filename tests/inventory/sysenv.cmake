# A second process for the environment, lock and running-application tests.
add_executable(sysenv_helper ${CMAKE_CURRENT_LIST_DIR}/SysEnvHelper.cpp)
target_link_libraries(sysenv_helper PRIVATE netrefit_inventory)
cmake_language(DEFER CALL add_dependencies inventory_tests sysenv_helper)
# The backup lock and the serialising mutex are kernel objects shared by every program in the
# prefix: binaries that take them must not overlap.
list(APPEND inventory_test_locks applocks)
