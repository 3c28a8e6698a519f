# The Windows resources of a program: a version record, the application manifest
# (program.manifest) and, optionally, the icon.
#
#   zemta_add_windows_resources(<target>
#       DESCRIPTION <text>           FileDescription (UTF-8)
#       FILE_VERSION <a.b.c.d>       FileVersion; ProductVersion is the project's
#       [ICON])                      the program's icon, zemta-stela.ico, as IDI_ICON1
#
# IDI_ICON1 is the name Qt's Windows platform plugin looks for in the .exe as the
# default icon of its windows; Explorer shows the first icon of the file.
set(ZEMTA_WINDOWS_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

function(zemta_add_windows_resources target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "ICON" "DESCRIPTION;FILE_VERSION" "")
    get_target_property(ZEMTA_RC_NAME ${target} OUTPUT_NAME)
    if(NOT ZEMTA_RC_NAME)
        set(ZEMTA_RC_NAME ${target})
    endif()
    set(ZEMTA_RC_DESCRIPTION ${arg_DESCRIPTION})
    set(ZEMTA_RC_FILE_VERSION ${arg_FILE_VERSION})
    set(ZEMTA_RC_PRODUCT_VERSION ${PROJECT_VERSION})
    string(REPLACE "." "," ZEMTA_RC_FILE_VERSION_COMMAS ${arg_FILE_VERSION})
    string(REPLACE "." "," ZEMTA_RC_PRODUCT_VERSION_COMMAS ${PROJECT_VERSION})
    set(ZEMTA_RC_ICON "")
    if(arg_ICON)
        set(ZEMTA_RC_ICON "IDI_ICON1 ICON \"${ZEMTA_WINDOWS_PACKAGING_DIR}/zemta-stela.ico\"")
    endif()
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    configure_file(${ZEMTA_WINDOWS_PACKAGING_DIR}/versioninfo.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
    # windres tracks neither the manifest nor the icon: rebuild when they change.
    set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS
        ${ZEMTA_WINDOWS_PACKAGING_DIR}/program.manifest)
    if(arg_ICON)
        set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS
            ${ZEMTA_WINDOWS_PACKAGING_DIR}/zemta-stela.ico)
    endif()
endfunction()
