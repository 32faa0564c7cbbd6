# One interface target carries the language level, warnings and sanitizer
# flags; every target of the project links it.
add_library(vexa_settings INTERFACE)
target_compile_features(vexa_settings INTERFACE cxx_std_20)
target_compile_options(vexa_settings INTERFACE -Wall -Wextra)
target_compile_definitions(vexa_settings INTERFACE
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING)

if(VEXA_SANITIZE)
    target_compile_options(vexa_settings INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(vexa_settings INTERFACE -fsanitize=address,undefined)
endif()
if(VEXA_TSAN)
    target_compile_options(vexa_settings INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(vexa_settings INTERFACE -fsanitize=thread)
endif()

# vexa_add_library(name SHARED|STATIC|OBJECT [EXPORT_HEADER] sources...)
# A library of the project: symbols hidden unless its export macros mark them,
# the project's settings, and the one list of its sources (the older edition
# compiles them again, reading the target's SOURCES property). EXPORT_HEADER
# generates <name>_export.h and puts it and the library's folder on its users'
# include path.
include(GenerateExportHeader)
function(vexa_add_library name type)
    cmake_parse_arguments(L "EXPORT_HEADER" "" "" ${ARGN})
    add_library(${name} ${type} ${L_UNPARSED_ARGUMENTS})
    set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    target_link_libraries(${name} PRIVATE vexa_settings)
    if(L_EXPORT_HEADER)
        generate_export_header(${name} BASE_NAME ${name} EXPORT_FILE_NAME ${name}_export.h)
        target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR})
    endif()
endfunction()

# vexa_add_test(NAME name LABEL area SOURCES ... [LIBS ...] [ENV ...] [TIMEOUT s])
# Every test runs offscreen and pinned to loopback: nothing a test sends may
# leave the machine.
function(vexa_add_test)
    cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
    if(NOT T_LABEL)
        message(FATAL_ERROR "vexa_add_test(${T_NAME}): LABEL is required")
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE vexa_settings ${T_LIBS})
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES
        LABELS ${T_LABEL}
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VEXA_INTERFACES=lo;ASAN_OPTIONS=detect_leaks=0;${T_ENV}")
endfunction()
