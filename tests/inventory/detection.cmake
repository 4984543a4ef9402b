# Stand-ins for what installed-component detection reads: a DirectX setup library exporting its
# version query at ordinal 11, one exporting something else there, and small libraries whose only
# content is a version resource. The test binary carries a version resource of its own.
list(APPEND test_sources ${CMAKE_CURRENT_LIST_DIR}/InventoryTestsVersion.rc)

add_library(dsetup_standin SHARED ${CMAKE_CURRENT_LIST_DIR}/DsetupStandin.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DsetupStandin.def)
add_library(dsetup_wrong_ordinal SHARED ${CMAKE_CURRENT_LIST_DIR}/DsetupStandin.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DsetupWrongOrdinal.def)
add_library(mdac_standin SHARED ${CMAKE_CURRENT_LIST_DIR}/VersionedLibrary.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MdacStandin.rc)
add_library(wmf_standin SHARED ${CMAKE_CURRENT_LIST_DIR}/VersionedLibrary.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WmfStandin.rc)
set_target_properties(dsetup_standin dsetup_wrong_ordinal mdac_standin wmf_standin
    PROPERTIES PREFIX "")

# The tests copy these next to where the program looks, so they must exist before the tests run.
cmake_language(DEFER CALL add_dependencies inventory_tests
    dsetup_standin dsetup_wrong_ordinal mdac_standin wmf_standin)
