# Turns CHANGELOG.md into the packages' Debian-format changelog, which lintian
# and apt-listchanges read:
#   cmake -DIN=CHANGELOG.md -DOUT=changelog -DSOURCE=koru "-DMAINTAINER=..." -P changelog.cmake
file(STRINGS ${IN} lines)
set(text "")
set(open "")
foreach(line IN LISTS lines)
    if(line MATCHES "^## ([^ ]+) \\(([0-9]+-[0-9]+-[0-9]+)\\)$")
        set(version ${CMAKE_MATCH_1})
        # Debian wants RFC 5322 dates, weekday included.
        execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C date -u -R -d "${CMAKE_MATCH_2} 12:00"
                        OUTPUT_VARIABLE stamp OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        string(APPEND text "${open}${SOURCE} (${version}) unstable; urgency=medium\n\n")
        set(open "\n -- ${MAINTAINER}  ${stamp}\n\n")
    elseif(NOT open STREQUAL "" AND line MATCHES "^- (.*)$")
        string(APPEND text "  * ${CMAKE_MATCH_1}\n")
    elseif(NOT open STREQUAL "" AND line MATCHES "^  +(.*)$")
        string(APPEND text "    ${CMAKE_MATCH_1}\n")
    endif()
endforeach()
if(open STREQUAL "")
    message(FATAL_ERROR "${IN} has no \"## VERSION (YYYY-MM-DD)\" heading")
endif()
string(REPLACE "`" "" text "${text}${open}")
string(REGEX REPLACE "\n\n$" "\n" text "${text}")
file(WRITE ${OUT} "${text}")
