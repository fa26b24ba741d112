# vistrel_add_test(NAME name SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s])
#
# Builds a Qt Test executable and registers it with CTest. Every test runs in a
# fresh temporary home (settings store, registry file, caches), so tests never
# touch the real user's configuration and can run in parallel.
set(VISTREL_ISOLATE ${CMAKE_CURRENT_LIST_DIR}/run-isolated.sh)

function(vistrel_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE Qt5::Test ${T_LIBS})
  # Tests sit beside the shared libraries, as programs do, so run-time loading finds them the same way.
  set_target_properties(${T_NAME} PROPERTIES AUTOMOC ON)
  vistrel_register_test(NAME ${T_NAME} COMMAND $<TARGET_FILE:${T_NAME}> LABELS ${T_LABELS} TIMEOUT ${T_TIMEOUT})
endfunction()

# vistrel_register_test(NAME name COMMAND cmd args... [LABELS ...] [TIMEOUT s])
# Registers any command (a script, a tool run) as an isolated test.
function(vistrel_register_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND;LABELS" ${ARGN})
  # Guards against a hang, not a measure of speed: a busy machine under a sanitizer may take many minutes.
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 1200)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${VISTREL_ISOLATE} ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES
    LABELS "${T_LABELS}"
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=1200000;VISTREL_BIN_DIR=${CMAKE_BINARY_DIR}/bin;VISTREL_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
