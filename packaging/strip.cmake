# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) after installing into its staging folder: strips the programs as Debian's tools do,
# symbols and the .comment and .note sections (the compiler's version strings) removed.
cmake_policy(SET CMP0009 NEW) # the staged help link is not followed
find_program(TAVIK_STRIP NAMES strip REQUIRED)
foreach(program IN LISTS CPACK_TAVIK_STAGED_PROGRAMS)
    file(GLOB_RECURSE staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/${program}")
    if(NOT staged)
        message(FATAL_ERROR "strip.cmake: ${program} is not in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
    endif()
    foreach(file IN LISTS staged)
        execute_process(COMMAND "${TAVIK_STRIP}" --remove-section=.comment --remove-section=.note "${file}"
                        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
endforeach()
