# The installed layout. The station is a program folder of its own, holding the executable and
# the libraries it binds side by side (the executable finds them through a relative run path
# and its own folder, never through the build folder), plus a link to its settings file. The
# command-line tools go on the PATH; every program brings a manual page.
#
#   <prefix>/lib/quorvantis/   Quorvantis, libWSQPACK.so, ..., Quorvantis.INI -> settings file
#   <prefix>/bin/              quorvantis -> ../lib/quorvantis/Quorvantis, the tools
#   <prefix>/share/man/man1/   a page per program
#   <prefix>/share/quorvantis/ the sample settings file
#   /etc/quorvantis/settings/  the settings file, the operators' to write, never installed
#                              (<prefix>/etc/quorvantis/settings unless prefix is /usr)

include(GNUInstallDirs)

set(QV_PROGRAM_DIR lib/quorvantis)
find_program(QV_SCDOC scdoc REQUIRED)

# Settings belong with the system's configuration: /etc for a /usr installation (the package),
# <prefix>/etc otherwise. Decided when installing, as the prefix may be given only then.
install(CODE [[
    if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
        set(QV_INSTALL_SETTINGS_DIR "/etc/quorvantis")
    else()
        set(QV_INSTALL_SETTINGS_DIR "${CMAKE_INSTALL_PREFIX}/etc/quorvantis")
    endif()
]])

# A manual page written for scdoc ("NAME.SECTION.scd"), turned into a compressed man page at
# build time and installed in its section.
function(qv_add_manual source)
    get_filename_component(source ${source} ABSOLUTE)
    get_filename_component(file ${source} NAME)
    string(REGEX REPLACE "\\.scd$" "" page ${file})
    string(REGEX MATCH "[0-9]$" section ${page})
    set(output ${CMAKE_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND bash -c "set -o pipefail; \"$1\" < \"$2\" | gzip -9n > \"$3\"" manual
                ${QV_SCDOC} ${source} ${output}
        DEPENDS ${source}
        COMMENT "Writing the manual page ${page}"
        VERBATIM)
    add_custom_target(manual_${page} ALL DEPENDS ${output})
    install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
    set_property(GLOBAL APPEND PROPERTY QV_MANUALS ${output})
endfunction()

# A command-line tool, installed on the PATH with its manual page.
function(qv_install_tool target)
    cmake_parse_arguments(ARG "" "MANUAL" "" ${ARGN})
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    qv_add_manual(${ARG_MANUAL})
    set_property(GLOBAL APPEND PROPERTY QV_TOOLS ${target})
endfunction()

# A library the station binds, installed beside the station's executable.
function(qv_install_program_library target)
    install(TARGETS ${target} LIBRARY DESTINATION ${QV_PROGRAM_DIR})
    set_property(GLOBAL APPEND PROPERTY QV_PROGRAM_LIBRARIES ${target})
endfunction()

# The station's executable in its program folder, reached on the PATH through a lower-case link.
function(qv_install_station target)
    cmake_parse_arguments(ARG "" "MANUAL" "" ${ARGN})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${target} RUNTIME DESTINATION ${QV_PROGRAM_DIR})
    string(TOLOWER ${target} command)
    qv_install_link(${CMAKE_INSTALL_BINDIR}/${command} ${QV_PROGRAM_DIR}/${target})
    qv_add_manual(${ARG_MANUAL})
endfunction()

# A symbolic link at <prefix>/<link> to <prefix>/<target>, or to an absolute target, which may
# name variables of the install script (escaped: \${QV_INSTALL_SETTINGS_DIR}). The link is
# relative within one top-level folder and absolute across them (/usr to /etc), as Debian's
# policy asks.
function(qv_install_link link target)
    install(CODE "
        set(link \"\${CMAKE_INSTALL_PREFIX}/${link}\")
        set(target \"${target}\")
        if(NOT IS_ABSOLUTE \"\${target}\")
            set(target \"\${CMAKE_INSTALL_PREFIX}/\${target}\")
        endif()
        get_filename_component(folder \"\${link}\" DIRECTORY)
        string(REGEX MATCH \"^/[^/]*\" link_top \"\${link}\")
        string(REGEX MATCH \"^/[^/]*\" target_top \"\${target}\")
        if(link_top STREQUAL target_top)
            file(RELATIVE_PATH target \"\${folder}\" \"\${target}\")
        endif()
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${folder}\")
        file(REMOVE \"\$ENV{DESTDIR}\${link}\")
        file(CREATE_LINK \"\${target}\" \"\$ENV{DESTDIR}\${link}\" SYMBOLIC)
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\$ENV{DESTDIR}\${link}\")
        message(STATUS \"Installing link: \$ENV{DESTDIR}\${link} -> \${target}\")
    ")
endfunction()
