# SPDX-FileCopyrightText: 2026 Korvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Warnings every Korvane target is built with.
function(korvane_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(KORVANE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# korvane_add_test(NAME name SOURCES ... LIBS ... [LABELS ...] [ENVIRONMENT ...] [WRAPPER cmd...])
# Builds one Qt Test executable and registers it with CTest. Widget tests run offscreen
# with a private runtime directory so that Qt does not warn or touch /tmp/runtime-root.
function(korvane_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT;WRAPPER;ARGS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
    if(TARGET korvane_testsupport)
        target_link_libraries(${T_NAME} PRIVATE korvane_testsupport)
    endif()
    korvane_warnings(${T_NAME})
    add_test(NAME ${T_NAME} COMMAND ${T_WRAPPER} $<TARGET_FILE:${T_NAME}> ${T_ARGS})
    # A fixed locale: captions hold numbers in the user's notation, and the tests expect ".".
    set(env "QT_QPA_PLATFORM=offscreen" "XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/xdg-runtime" "LC_ALL=C.UTF-8"
            "KORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR}" "KORVANE_BIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
    list(APPEND env ${T_ENVIRONMENT})
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${env}")
    if(T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
    endif()
    if(T_TIMEOUT)
        set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
    endif()
endfunction()
