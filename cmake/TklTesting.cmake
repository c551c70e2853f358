# add_qt_test(<name> SOURCES <files...> LIBS <targets...> [WIDGETS])
#
# One QtTest executable registered with CTest. WIDGETS tests run on the offscreen
# platform so the suite needs no display.
function(add_qt_test name)
    cmake_parse_arguments(ARG "WIDGETS" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set(env "QT_QPA_PLATFORM=offscreen" "TKL_TEST=1")
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
endfunction()
