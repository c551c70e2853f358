# tkl_check_core_links(<target>...)
#
# Fails the configuration when one of the targets, or a project library it links,
# links Qt Gui or Qt Widgets: the core libraries and the command-line tool must run
# without a display and be reusable by tools. Call it after every target is defined.
function(tkl_check_core_links)
    foreach(core IN LISTS ARGN)
        set(queue ${core})
        set(seen "")
        while(queue)
            list(POP_FRONT queue target)
            if(target IN_LIST seen)
                continue()
            endif()
            list(APPEND seen ${target})
            get_target_property(libs ${target} LINK_LIBRARIES)
            if(NOT libs)
                continue()
            endif()
            foreach(lib IN LISTS libs)
                if(lib MATCHES "^Qt6?::(Gui|Widgets|Svg|OpenGL)")
                    message(FATAL_ERROR "${core} must not link ${lib} (through ${target}): "
                                        "the core libraries and tklcli are kept free of the GUI")
                endif()
                if(lib MATCHES "^tkl" AND TARGET ${lib})
                    list(APPEND queue ${lib})
                endif()
            endforeach()
        endwhile()
    endforeach()
    list(JOIN ARGN ", " names)
    message(STATUS "Linked without Qt Gui or Widgets: ${names}")
endfunction()

# tkl_check_includes(<folder> [<folder it may include>...])
#
# Fails the configuration when a source file of src/<folder> includes a header of a
# project folder other than itself and the ones named: the libraries link one way, and
# a header from a room above would compile and then fail (or worse, not fail) at link
# time. Call it after the folder's targets are defined.
function(tkl_check_includes folder)
    set(allowed ${folder} ${ARGN})
    file(GLOB sources ${PROJECT_SOURCE_DIR}/src/${folder}/*.h ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp)
    file(GLOB rooms LIST_DIRECTORIES true RELATIVE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/src/*)
    foreach(source IN LISTS sources)
        file(STRINGS ${source} includes REGEX "^#include \"[a-z-]+/")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^#include \"([a-z-]+)/.*" "\\1" room "${line}")
            if(room IN_LIST rooms AND NOT room IN_LIST allowed)
                file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${source})
                message(FATAL_ERROR "${shown} includes from src/${room}, which src/${folder} must not use "
                                    "(it may use: ${allowed}); see docs/architecture.md")
            endif()
        endforeach()
    endforeach()
endfunction()
