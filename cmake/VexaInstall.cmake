# Install layout. Each package keeps one program and everything it looks for
# beside itself (its libraries, the packet driver, Setup.xml, translations,
# manuals, plugins/) in a private directory <prefix>/lib/<package>, the same
# layout as the build tree's bin/. Programs find that directory through
# /proc/self/exe and their libraries through RUNPATH $ORIGIN, so a link on
# the PATH works and any prefix works.
#
#   vexa_install_program(TARGET PACKAGE [LAUNCHER name])
#       the program, the project's shared libraries it links and the modules
#       they load at run time (target property VEXA_LOADS), and a link in
#       bin/ named LAUNCHER (default: the target's name in lower case)
#   vexa_install_library(TARGET PACKAGE)
#       a library a program of the package loads without linking it
#   vexa_install_plugin(TARGET PACKAGE SUBDIR)
#       a plug-in module under the private directory, e.g. plugins/skins
#   vexa_install_files(PACKAGE [SUBDIR dir] FILES ...)
#       data files beside the program (manuals, ...)
#   vexa_install_config(PACKAGE FILE)
#       a configuration file the program reads beside itself (Setup.xml).
#       Installed to the prefix /usr it lives in /etc/<package>/, where the
#       package manager keeps an administrator's changes across upgrades,
#       with a link beside the program; under any other prefix it is a plain
#       file beside the program.
#
# PACKAGE is both the install component and the Debian package name.
include(GNUInstallDirs)

set(VEXA_INSTALL_PRIVATE_ROOT lib CACHE STRING
    "Directory under the prefix that holds each package's private directory")

# Shared objects are read, not executed: mode 0644, as Debian wants them.
set(VEXA_LIBRARY_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

function(vexa_private_dir PACKAGE OUT)
    set(${OUT} ${VEXA_INSTALL_PRIVATE_ROOT}/${PACKAGE} PARENT_SCOPE)
endfunction()

function(vexa_install_library LIBRARY PACKAGE)
    get_property(done GLOBAL PROPERTY VEXA_INSTALLED_${PACKAGE})
    if(LIBRARY IN_LIST done)
        return()
    endif()
    set_property(GLOBAL APPEND PROPERTY VEXA_INSTALLED_${PACKAGE} ${LIBRARY})
    vexa_private_dir(${PACKAGE} dir)
    install(TARGETS ${LIBRARY} LIBRARY DESTINATION ${dir} COMPONENT ${PACKAGE}
        PERMISSIONS ${VEXA_LIBRARY_PERMISSIONS})
endfunction()

function(vexa_install_plugin TARGET PACKAGE SUBDIR)
    vexa_private_dir(${PACKAGE} dir)
    # The plug-in finds the program's private libraries two or more levels up.
    file(RELATIVE_PATH up /${dir}/${SUBDIR} /${dir})
    set_target_properties(${TARGET} PROPERTIES INSTALL_RPATH "$ORIGIN/${up}")
    install(TARGETS ${TARGET} LIBRARY DESTINATION ${dir}/${SUBDIR} COMPONENT ${PACKAGE}
        PERMISSIONS ${VEXA_LIBRARY_PERMISSIONS})
endfunction()

function(vexa_install_files PACKAGE)
    cmake_parse_arguments(F "" "SUBDIR" "FILES" ${ARGN})
    vexa_private_dir(${PACKAGE} dir)
    if(F_SUBDIR)
        string(APPEND dir /${F_SUBDIR})
    endif()
    install(FILES ${F_FILES} DESTINATION ${dir} COMPONENT ${PACKAGE})
endfunction()

function(vexa_install_config PACKAGE FILE)
    vexa_private_dir(${PACKAGE} dir)
    get_filename_component(source ${FILE} ABSOLUTE)
    get_filename_component(name ${FILE} NAME)
    set(etc /etc/${PACKAGE})
    install(CODE "
        if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
            file(INSTALL [[${source}]] DESTINATION [[${etc}]])
            set(link [[/usr/${dir}/${name}]])
            file(MAKE_DIRECTORY \"\$ENV{DESTDIR}/usr/${dir}\")
            file(CREATE_LINK [[${etc}/${name}]] \"\$ENV{DESTDIR}\${link}\" SYMBOLIC)
            list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${link}\")
        else()
            file(INSTALL [[${source}]] DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${dir}\")
        endif()" COMPONENT ${PACKAGE})
    set_property(GLOBAL APPEND PROPERTY VEXA_CONFFILES_${PACKAGE} ${etc}/${name})
endfunction()

function(vexa_install_program TARGET PACKAGE)
    cmake_parse_arguments(P "" "LAUNCHER" "" ${ARGN})
    if(NOT P_LAUNCHER)
        string(TOLOWER ${TARGET} P_LAUNCHER)
    endif()
    vexa_private_dir(${PACKAGE} dir)
    install(TARGETS ${TARGET} RUNTIME DESTINATION ${dir} COMPONENT ${PACKAGE})

    # A relative link, so the layout survives DESTDIR and any prefix.
    file(RELATIVE_PATH target /${CMAKE_INSTALL_BINDIR} /${dir}/${TARGET})
    set(link ${CMAKE_CURRENT_BINARY_DIR}/launchers/${P_LAUNCHER})
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/launchers)
    file(CREATE_LINK ${target} ${link} SYMBOLIC)
    install(FILES ${link} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${PACKAGE})

    set_property(GLOBAL APPEND PROPERTY VEXA_PACKAGES ${PACKAGE})
    # Libraries may be linked by targets defined later: collect them at the
    # end of the configuration (EVAL, as deferred arguments expand late).
    cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]]
        CALL _vexa_install_runtime_of [[${TARGET}]] [[${PACKAGE}]])")
endfunction()

# Every shared library and run-time module of the project that TARGET needs,
# through linked libraries (static and interface ones passed through) and
# the VEXA_LOADS property.
function(_vexa_runtime_of TARGET OUT)
    set(seen)
    set(found)
    set(queue ${TARGET})
    while(queue)
        list(POP_FRONT queue item)
        # $<LINK_ONLY:x> and similar wrappers around a plain target name.
        string(REGEX REPLACE "^\\$<[A-Z_]+:([^>]+)>$" "\\1" item "${item}")
        if(NOT TARGET ${item} OR item IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${item})
        get_target_property(imported ${item} IMPORTED)
        if(imported)
            continue()
        endif()
        get_target_property(type ${item} TYPE)
        if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
            list(APPEND found ${item})
        endif()
        set(next)
        if(NOT type STREQUAL "INTERFACE_LIBRARY")
            get_target_property(next ${item} LINK_LIBRARIES)
        endif()
        get_target_property(iface ${item} INTERFACE_LINK_LIBRARIES)
        get_target_property(loads ${item} VEXA_LOADS)
        foreach(list IN ITEMS next iface loads)
            if(${list})
                list(APPEND queue ${${list}})
            endif()
        endforeach()
    endwhile()
    list(REMOVE_ITEM found ${TARGET})
    set(${OUT} ${found} PARENT_SCOPE)
endfunction()

function(_vexa_install_runtime_of TARGET PACKAGE)
    _vexa_runtime_of(${TARGET} libraries)
    foreach(library IN LISTS libraries)
        vexa_install_library(${library} ${PACKAGE})
    endforeach()
endfunction()
