# Flags shared by every target of the project, carried by one INTERFACE target.
option(TAVIK_WERROR "Treat compiler warnings as errors" OFF)
if(DEFINED ENV{CI})
    set(TAVIK_WERROR ON CACHE BOOL "" FORCE)
endif()

add_library(tavik_common_cfg INTERFACE)
target_compile_features(tavik_common_cfg INTERFACE cxx_std_20)
target_compile_definitions(tavik_common_cfg INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_NO_FOREACH
    QT_NO_KEYWORDS)
target_compile_options(tavik_common_cfg INTERFACE -Wall -Wextra -Wpedantic -Wold-style-cast)
if(TAVIK_WERROR)
    target_compile_options(tavik_common_cfg INTERFACE -Werror)
endif()

set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
include("${CMAKE_CURRENT_LIST_DIR}/Sanitizers.cmake")

# tavik_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [GUI] [NETNS] [TIMEOUT <s>])
#   GUI   : the test shows widgets; it runs on the offscreen platform.
#   NETNS : the test binds the real ports 1001/1002 or needs a private network, so CTest starts it
#           in a network namespace of its own (only loopback, brought up first). Where namespaces
#           are refused the test binary is still started, and must QSKIP when it cannot bind.
function(tavik_add_test)
    cmake_parse_arguments(T "GUI;NETNS" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE tavik_common_cfg Qt6::Test ${T_LIBS})
    target_include_directories(${T_NAME} PRIVATE "${CMAKE_SOURCE_DIR}/src" "${CMAKE_SOURCE_DIR}/tests")
    if(T_NETNS)
        add_test(NAME ${T_NAME}
                 COMMAND "${CMAKE_SOURCE_DIR}/scripts/in-netns.sh" $<TARGET_FILE:${T_NAME}>)
    else()
        add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    endif()
    set(env "QT_QPA_PLATFORM=offscreen" "LC_ALL=C.UTF-8" "TAVIK_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${env}")
    if(T_TIMEOUT)
        set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
    else()
        set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 120)
    endif()
    tavik_sanitizer_test(${T_NAME})
endfunction()
