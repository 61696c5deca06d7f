# Lays down the daily check's user units when installing (cmake --install, cpack)
# where the user's systemd looks for the prefix: lib/systemd/user under /usr and
# /usr/local, else share/systemd/user ($XDG_DATA_HOME/systemd/user for a prefix
# of ~/.local). The service names koru-cli by its installed path, as systemd
# finds a bare name only in /usr/bin and /usr/local/bin. The relocatable
# archive cannot know its path and keeps the bare name.
#   In: UNITS (the units, a service ending in .in), BINDIR, WORK (a scratch folder)
cmake_path(ABSOLUTE_PATH BINDIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE OUTPUT_VARIABLE bin)
if(CMAKE_INSTALL_PREFIX MATCHES "/_CPack_Packages/")
    set(KORU_CLI koru-cli)
else()
    set(KORU_CLI "${bin}/koru-cli")
endif()
if(CMAKE_INSTALL_PREFIX MATCHES "^/usr(/local)?/*$")
    set(unit_dir lib/systemd/user)
else()
    set(unit_dir share/systemd/user)
endif()
set(units)
foreach(unit IN LISTS UNITS)
    cmake_path(GET unit FILENAME name)
    string(REGEX REPLACE "\\.in$" "" name "${name}")
    configure_file("${unit}" "${WORK}/${name}" @ONLY)
    list(APPEND units "${WORK}/${name}")
endforeach()
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${unit_dir}" TYPE FILE FILES ${units})
