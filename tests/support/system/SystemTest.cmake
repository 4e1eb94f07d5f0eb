# quillon_system_test(NAME SOURCES ... LIBS ... [LABEL label])
# Like quillon_test, for tests that change the machine (users, polkit rules,
# mounts): it links the system-test support library, and every case holds
# the CTest RESOURCE_LOCK "system", so that no two of them run at once.
# Include this file from a test folder's CMakeLists.txt:
#   include(${PROJECT_SOURCE_DIR}/tests/support/system/SystemTest.cmake)
include_guard(GLOBAL)

function(quillon_system_test name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_LABEL)
    set(ARG_LABEL system)
  endif()
  add_executable(${name} ${ARG_SOURCES} ${QUILLON_ASSERT_CHECK_SOURCE})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} quillon_test_system GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_options(${name} PRIVATE ${QUILLON_WARNINGS})
  target_compile_definitions(${name} PRIVATE
    QUILLON_SOURCE_ROOT="${PROJECT_SOURCE_DIR}"
    QUILLON_BINARY_ROOT="${PROJECT_BINARY_DIR}"
    QUILLON_BUNDLE_DIR="${QUILLON_BUNDLE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS "${ARG_LABEL}" RESOURCE_LOCK system TIMEOUT 600)
endfunction()
