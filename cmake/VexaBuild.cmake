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
