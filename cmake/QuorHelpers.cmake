# quor_require_pkg(PREFIX module debian-package): a pkg-config module the build
# cannot do without; a missing one stops the configure step naming its package.
function(quor_require_pkg prefix module package)
    pkg_check_modules(${prefix} IMPORTED_TARGET GLOBAL ${module})
    if(NOT ${prefix}_FOUND)
        message(FATAL_ERROR "${module} not found: install the Debian package ${package} (scripts/install-deps.sh)")
    endif()
endfunction()

# add_unit_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l] [TIMEOUT s] [FUNCTIONS f1 f2])
# Every test runs through tests/run-test.sh, which gives it a private HOME,
# XDG data home and runtime directory, and the offscreen platform. With
# FUNCTIONS, each named test function is a test of its own (NAME_f1, ...), so
# that the long ones run side by side.
function(add_unit_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;FUNCTIONS" ${ARGN})
    qt_add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test quor_compile_options)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set(tests)
    if(T_FUNCTIONS)
        foreach(function ${T_FUNCTIONS})
            add_test(NAME ${name}_${function}
                     COMMAND ${PROJECT_SOURCE_DIR}/tests/run-test.sh $<TARGET_FILE:${name}> ${function})
            list(APPEND tests ${name}_${function})
        endforeach()
    else()
        add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tests/run-test.sh $<TARGET_FILE:${name}>)
        set(tests ${name})
    endif()
    set_tests_properties(${tests} PROPERTIES TIMEOUT ${T_TIMEOUT})
    if(T_LABELS)
        set_tests_properties(${tests} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()
