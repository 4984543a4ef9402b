# zlib (static, from the mingw-w64 build) inflates members; the image-help library creates folders.
target_link_libraries(netrefit_unzip PUBLIC z imagehlp)
