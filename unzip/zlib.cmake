# zlib (static, from the mingw-w64 build) inflates members.
target_link_libraries(netrefit_unzip PUBLIC z)
