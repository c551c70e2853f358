# add_qt_test(<name> SOURCES <files...> LIBS <targets...>)
#
# One QtTest executable registered with CTest. Every test runs on the offscreen
# platform so the suite needs no display.
function(add_qt_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-data)
    # Tests never touch the operator's own network description or device memory.
    set(env "QT_QPA_PLATFORM=offscreen"
        "TKL_DEVICE_STORE=${CMAKE_BINARY_DIR}/test-data/${name}-devices.json"
        "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-data/config"
        "XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-data/data")
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
endfunction()
