# quor_require_pkg(PREFIX module debian-package): a pkg-config module the build
# cannot do without; a missing one stops the configure step naming its package.
function(quor_require_pkg prefix module package)
    pkg_check_modules(${prefix} IMPORTED_TARGET GLOBAL ${module})
    if(NOT ${prefix}_FOUND)
        message(FATAL_ERROR "${module} not found: install the Debian package ${package} (scripts/install-deps.sh)")
    endif()
endfunction()

# add_unit_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l] [TIMEOUT s])
# Every test runs through tests/run-test.sh, which gives it a private HOME,
# XDG data home and runtime directory, and the offscreen platform.
function(add_unit_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    qt_add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test quor_compile_options)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tests/run-test.sh $<TARGET_FILE:${name}>)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
    if(T_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()
