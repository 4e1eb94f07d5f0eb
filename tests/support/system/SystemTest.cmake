# quillon_system_test(NAME SOURCES ... LIBS ... [LABEL label])
# Like quillon_test, for tests that change the machine (users, polkit rules,
# mounts): it links the system-test support library, and every case holds
# the CTest RESOURCE_LOCK "system", so that no two of them run at once.
# Their labels (system, setuid, gui-e2e, terminal-e2e) mark the tests that
# need root with the system bus and polkitd running; scripts/ci/fresh-root.sh
# leaves exactly these out, so a new label must be added there too. (A discovered test
# keeps one label only: the properties pass through a flat list.)
# Include this file from a test folder's CMakeLists.txt:
#   include(${PROJECT_SOURCE_DIR}/tests/support/system/SystemTest.cmake)
include_guard(GLOBAL)

function(quillon_system_test name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_LABEL)
    set(ARG_LABEL system)
  endif()
  if(NOT ARG_LABEL MATCHES "^(system|setuid|gui-e2e|terminal-e2e)$")
    message(FATAL_ERROR "${name}: label ${ARG_LABEL} is not one that scripts/ci/fresh-root.sh leaves out")
  endif()
  quillon_test(${name} SOURCES ${ARG_SOURCES} LIBS ${ARG_LIBS} quillon_test_system
               LABELS ${ARG_LABEL} RESOURCE_LOCK system)
endfunction()
