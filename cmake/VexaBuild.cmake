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

# vexa_add_library(name SHARED|STATIC|OBJECT|MODULE [EXPORT_HEADER] [UNINSTRUMENTED] sources...)
# A library of the project: symbols hidden unless its export macros mark them,
# the project's settings, and the one list of its sources (the older edition
# compiles them again, reading the target's SOURCES property). EXPORT_HEADER
# generates <name>_export.h and puts it and the library's folder on its users'
# include path. UNINSTRUMENTED leaves the sanitizers out, for a module loaded
# into a program that was built without them.
include(GenerateExportHeader)
function(vexa_add_library name type)
    cmake_parse_arguments(L "EXPORT_HEADER;UNINSTRUMENTED" "" "" ${ARGN})
    add_library(${name} ${type} ${L_UNPARSED_ARGUMENTS})
    set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    if(L_UNINSTRUMENTED)
        target_compile_features(${name} PRIVATE cxx_std_20)
    else()
        target_link_libraries(${name} PRIVATE vexa_settings)
    endif()
    if(L_EXPORT_HEADER)
        generate_export_header(${name} BASE_NAME ${name} EXPORT_FILE_NAME ${name}_export.h)
        target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR})
    endif()
endfunction()

# vexa_add_fuzzer(name SOURCES ... [LIBS ...])
# A libFuzzer target (VEXA_FUZZ builds, clang). The code under test is
# instrumented too, through libraries made with vexa_add_fuzzed_library(), so
# coverage guides the fuzzer into it.
set(VEXA_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
function(vexa_add_fuzzer name)
    cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE ${VEXA_FUZZ_FLAGS})
    target_link_options(${name} PRIVATE ${VEXA_FUZZ_FLAGS})
    target_link_libraries(${name} PRIVATE vexa_settings ${F_LIBS})
endfunction()
function(vexa_add_fuzzed_library name)
    vexa_add_library(${name} STATIC ${ARGN})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/platform)
endfunction()

# vexa_add_test(NAME name LABEL area SOURCES ... [LIBS ...] [ENV ...] [TIMEOUT s] [LAN])
# A test program of its own sources, run without arguments.
function(vexa_add_test)
    cmake_parse_arguments(T "LAN" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE vexa_settings ${T_LIBS})
    set(lan "")
    if(T_LAN)
        set(lan LAN)
    endif()
    vexa_add_test_run(NAME ${T_NAME} LABEL "${T_LABEL}" COMMAND ${T_NAME} ENV ${T_ENV} TIMEOUT ${T_TIMEOUT} ${lan})
endfunction()

# vexa_add_test_run(NAME name LABEL area COMMAND ... [ENV ...] [TIMEOUT s] [LAN] [ROOT])
# A test that runs a command: a script, or a test program with arguments of
# its own. Every test runs offscreen and pinned to loopback: nothing a test
# sends may leave the machine. LAN: it sends or listens on the protocol ports,
# so it never runs beside another such test (they would hear each other's
# devices). ROOT: it needs root for namespaces and exits 77, skipped, without.
function(vexa_add_test_run)
    cmake_parse_arguments(T "LAN;ROOT" "NAME;LABEL;TIMEOUT" "COMMAND;ENV" ${ARGN})
    if(NOT T_LABEL)
        message(FATAL_ERROR "${T_NAME}: LABEL is required")
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
    set_tests_properties(${T_NAME} PROPERTIES
        LABELS ${T_LABEL}
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VEXA_INTERFACES=lo;ASAN_OPTIONS=detect_leaks=0;${T_ENV}")
    if(T_LAN)
        set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK vexa-lan)
    endif()
    if(T_ROOT)
        set_tests_properties(${T_NAME} PROPERTIES SKIP_RETURN_CODE 77)
    endif()
endfunction()

# vexa_sources_of(out target exclude)
# A target's sources as absolute paths, for what reads them again (the older
# edition compiles them a second time; lupdate reads them). Sources whose
# names match `exclude` are left out.
function(vexa_sources_of out target exclude)
    get_target_property(dir ${target} SOURCE_DIR)
    get_target_property(sources ${target} SOURCES)
    set(result "")
    foreach(source IN LISTS sources)
        cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY "${dir}" NORMALIZE)
        if(NOT exclude OR NOT source MATCHES "${exclude}")
            list(APPEND result "${source}")
        endif()
    endforeach()
    set(${out} ${result} PARENT_SCOPE)
endfunction()

# vexa_add_translations(PROGRAM TS_FILES ... SOURCES ... INCLUDES ... QM_FILES var)
# A program's translations: lupdate reads SOURCES (absolute paths) with
# INCLUDES on its include path; lrelease writes the .qm files into
# "translations/" beside the program, where the language manager loads them
# (files the user may replace, so never compiled into resources);
# `update_translations` refreshes the .ts files. The same sources are written
# to <PROGRAM>_sources.lst, an lupdate list file for the coverage test.
function(vexa_add_translations program)
    cmake_parse_arguments(T "" "QM_FILES" "TS_FILES;SOURCES;INCLUDES" ${ARGN})
    list(REMOVE_DUPLICATES T_SOURCES)
    list(REMOVE_DUPLICATES T_INCLUDES)
    list(TRANSFORM T_INCLUDES PREPEND "-I" OUTPUT_VARIABLE lst_includes)
    list(JOIN T_SOURCES "\n" lst_sources)
    list(JOIN lst_includes "\n" lst_includes)
    file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${program}_sources.lst
        CONTENT "${lst_sources}\n${lst_includes}\n")
    set_source_files_properties(${T_TS_FILES} PROPERTIES
        OUTPUT_LOCATION "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/translations")
    qt_add_translations(${program}
        TS_FILES ${T_TS_FILES}
        SOURCES ${T_SOURCES}
        INCLUDE_DIRECTORIES ${T_INCLUDES}
        LUPDATE_OPTIONS -locations relative -no-obsolete
        QM_FILES_OUTPUT_VARIABLE qm_files)
    set(${T_QM_FILES} ${qm_files} PARENT_SCOPE)
endfunction()
