# Read by cpack for each generator: a .deb for each of the three packages, and
# one .tar.gz with everything and its README. The programs in both are
# stripped; scripts/package keeps their symbols in a debug archive.
set(CPACK_STRIP_FILES ON)
if(CPACK_GENERATOR STREQUAL "DEB")
    set(CPACK_COMPONENTS_ALL gui cli publisher)
    set(CPACK_COMPONENTS_GROUPING IGNORE)
    # Each package's description begins with its own summary line.
    unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
else()
    set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
