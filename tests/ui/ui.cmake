# The test binary carries the program's own resources (dialogs, strings, icons, manifest), so the
# dialogs under test load exactly what the program ships.
list(APPEND ui_test_libs netrefit_app netrefit_resources)

# A language library as the settings file would name one: resources only, no code, a few texts
# and one template changed, so that switching the resource module is visible.
add_library(TestLanguage SHARED TestLanguage.rc)
set_target_properties(TestLanguage PROPERTIES PREFIX "" LINKER_LANGUAGE C)
target_include_directories(TestLanguage PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources)
target_link_options(TestLanguage PRIVATE -nostdlib -Wl,--entry,0)
# Digests of the files the progress tests serve.
list(APPEND ui_test_libs netrefit_md5)
# The shipped language libraries are checked as built; version.dll reads their version blocks.
list(APPEND ui_test_libs version)
