# quillon_system_test(NAME SOURCES ... LIBS ... [LABEL label])
# Like quillon_test, for tests that change the machine (users, polkit rules,
# mounts): it links the system-test support library, and every case holds
# the CTest RESOURCE_LOCK "system", so that no two of them run at once. Every
# case also carries the label "services" (it needs root with the system bus
# and polkitd running), so `ctest -LE services` runs all the others.
# Include this file from a test folder's CMakeLists.txt:
#   include(${PROJECT_SOURCE_DIR}/tests/support/system/SystemTest.cmake)
include_guard(GLOBAL)

function(quillon_system_test name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_LABEL)
    set(ARG_LABEL system)
  endif()
  quillon_test(${name} SOURCES ${ARG_SOURCES} LIBS ${ARG_LIBS} quillon_test_system
               LABELS ${ARG_LABEL} services RESOURCE_LOCK system)
endfunction()
