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

# Each library exposes its own headers and nothing else: they are linked into
# <build>/include/<target>/<folder>/<name>.h, and that tree is the library's public include
# directory. A source can include another library's header ("folder/name.h") only when its target
# links that library, so the link lines are the include lines. tests/check-layering.py checks the
# rest (headers of the own folder, widgets below the windows).
function(tavik_expose_headers target)
    get_target_property(sources ${target} SOURCES)
    set(root "${CMAKE_BINARY_DIR}/include/${target}")
    file(REMOVE_RECURSE "${root}")
    foreach(source IN LISTS sources)
        if(NOT source MATCHES "\\.h$")
            continue()
        endif()
        get_filename_component(path "${source}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
        # A header the build generates lies in the build tree's src/, the others in the source tree's.
        if(path MATCHES "^${CMAKE_BINARY_DIR}/src/")
            file(RELATIVE_PATH relative "${CMAKE_BINARY_DIR}/src" "${path}")
        else()
            file(RELATIVE_PATH relative "${CMAKE_SOURCE_DIR}/src" "${path}")
        endif()
        get_filename_component(folder "${relative}" DIRECTORY)
        file(MAKE_DIRECTORY "${root}/${folder}")
        file(CREATE_LINK "${path}" "${root}/${relative}" SYMBOLIC)
    endforeach()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE "${root}")
    else()
        target_include_directories(${target} PUBLIC "${root}")
    endif()
endfunction()
# tavik_add_library(<name> SOURCES <files...> LINKS <targets...> [PRIVATE_LINKS <targets...>])
#   One folder, one library: the library tavik_<name> of the calling folder's sources, with the
#   project's flags, linking LINKS for itself and its users, and exposing its own headers only.
#   Its namespace is the folder's path under src/ (chat/core: chat::core), which the layering
#   test checks.
function(tavik_add_library name)
    cmake_parse_arguments(L "" "" "SOURCES;LINKS;PRIVATE_LINKS" ${ARGN})
    add_library(tavik_${name} STATIC ${L_SOURCES})
    target_link_libraries(tavik_${name} PUBLIC tavik_common_cfg ${L_LINKS})
    if(L_PRIVATE_LINKS)
        target_link_libraries(tavik_${name} PRIVATE ${L_PRIVATE_LINKS})
    endif()
    tavik_expose_headers(tavik_${name})
endfunction()

include("${CMAKE_CURRENT_LIST_DIR}/Sanitizers.cmake")

# tavik_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [GUI] [NETNS] [TIMEOUT <s>])
#   GUI   : the test shows widgets; it runs on the offscreen platform. Label "gui" (else "unit").
#   NETNS : the test binds the real ports 1001/1002 or needs a private network, so CTest starts it
#           in a network namespace of its own (only loopback, brought up first). Where namespaces
#           are refused the test binary is still started, and must QSKIP when it cannot bind.
#           Label "netns".
function(tavik_add_test)
    cmake_parse_arguments(T "GUI;NETNS" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE tavik_common_cfg Qt6::Test ${T_LIBS})
    target_include_directories(${T_NAME} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
    if(T_NETNS)
        add_test(NAME ${T_NAME}
                 COMMAND "${CMAKE_SOURCE_DIR}/scripts/in-netns.sh" $<TARGET_FILE:${T_NAME}>)
    else()
        add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    endif()
    if(T_NETNS)
        set(label netns)
    elseif(T_GUI)
        set(label gui)
    else()
        set(label unit)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES LABELS ${label})
    set(env "QT_QPA_PLATFORM=offscreen" "LC_ALL=C.UTF-8" "TAVIK_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${env}")
    if(T_TIMEOUT)
        set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
    else()
        set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 120)
    endif()
    tavik_sanitizer_test(${T_NAME})
endfunction()

# Writes <build>/layering.txt for tests/check-layering.py: one line per target of the project, with
# its kind, the targets it links and its source files. Called once, after every target exists.
function(tavik_write_layering_manifest)
    set(lines "")
    set(folders "${CMAKE_SOURCE_DIR}")
    while(folders)
        list(POP_FRONT folders folder)
        get_property(subfolders DIRECTORY "${folder}" PROPERTY SUBDIRECTORIES)
        list(APPEND folders ${subfolders})
        get_property(targets DIRECTORY "${folder}" PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
            get_target_property(type ${target} TYPE)
            if(type STREQUAL "UTILITY")
                continue()
            endif()
            get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
            set(all_links ${links})
            if(NOT type STREQUAL "INTERFACE_LIBRARY")
                get_target_property(private_links ${target} LINK_LIBRARIES)
                list(APPEND all_links ${private_links})
            endif()
            list(FILTER all_links EXCLUDE REGEX "NOTFOUND|^\\$<|^-")
            list(REMOVE_DUPLICATES all_links)
            get_target_property(sources ${target} SOURCES)
            get_target_property(source_dir ${target} SOURCE_DIR)
            set(paths "")
            foreach(source IN LISTS sources)
                if(source MATCHES "^\\$<" OR NOT source MATCHES "\\.(h|cpp)$")
                    continue()
                endif()
                get_filename_component(path "${source}" ABSOLUTE BASE_DIR "${source_dir}")
                list(APPEND paths "${path}")
            endforeach()
            string(APPEND lines "${target}\t${type}\t${all_links}\t${paths}\n")
        endforeach()
    endwhile()
    file(WRITE "${CMAKE_BINARY_DIR}/layering.txt" "${lines}")
endfunction()
