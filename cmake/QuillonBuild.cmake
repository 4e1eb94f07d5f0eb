# Assertions guard a set-user-ID root program and stand for "end the process"
# on a broken invariant, so they stay on in every build type.
foreach(config DEBUG RELEASE RELWITHDEBINFO MINSIZEREL)
  foreach(lang C CXX)
    string(REGEX REPLACE "(^| )[-/]DNDEBUG( |$)" " " CMAKE_${lang}_FLAGS_${config} "${CMAKE_${lang}_FLAGS_${config}}")
  endforeach()
endforeach()
add_compile_options(-UNDEBUG)

set(QUILLON_WARNINGS -Wall -Wextra -Wno-unused-parameter)
if(QUILLON_WERROR)
  list(APPEND QUILLON_WARNINGS -Werror)
endif()

if(QUILLON_SANITIZE)
  # Tests that would make a program set-user-ID, or starve it of memory, skip.
  add_compile_definitions(QUILLON_SANITIZED=1)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Every target compiles this file's check: the build fails if NDEBUG slips in.
set(QUILLON_ASSERT_CHECK_SOURCE "${CMAKE_CURRENT_LIST_DIR}/assertions_on.cpp")

# quillon_library(NAME SOURCES ... [PUBLIC_INCLUDE dir...] [LIBS ...])
function(quillon_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_INCLUDE;LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES} ${QUILLON_ASSERT_CHECK_SOURCE})
  add_library(Quillon::${name} ALIAS ${name})
  if(ARG_PUBLIC_INCLUDE)
    target_include_directories(${name} PUBLIC ${ARG_PUBLIC_INCLUDE})
  else()
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  target_compile_options(${name} PRIVATE ${QUILLON_WARNINGS})
  target_compile_definitions(${name} PRIVATE QUILLON_SOURCE_ROOT="${PROJECT_SOURCE_DIR}")
endfunction()

# quillon_test(NAME SOURCES ... LIBS ... [LABELS ...] [RESOURCE_LOCK lock])
# One GoogleTest executable; its cases are discovered when CTest runs. Cases
# that share a resource lock never run at the same time.
function(quillon_test name)
  cmake_parse_arguments(ARG "" "RESOURCE_LOCK" "SOURCES;LIBS;LABELS" ${ARGN})
  set(lock)
  if(ARG_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  add_executable(${name} ${ARG_SOURCES} ${QUILLON_ASSERT_CHECK_SOURCE})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_options(${name} PRIVATE ${QUILLON_WARNINGS})
  target_compile_definitions(${name} PRIVATE
    QUILLON_SOURCE_ROOT="${PROJECT_SOURCE_DIR}"
    QUILLON_BINARY_ROOT="${PROJECT_BINARY_DIR}"
    QUILLON_BUNDLE_DIR="${QUILLON_BUNDLE_DIR}"
    QUILLON_KILL_POINT_BUNDLE_DIR="${QUILLON_KILL_POINT_BUNDLE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 600 ${lock})
endfunction()

# quillon_bundle_executable(TARGET): place an executable in the bundle's root.
# The helper tool in the bundle becomes set-user-ID root on its first run, so a
# sanitizer build (whose runtime trusts the environment) must never be installed.
function(quillon_bundle_executable target)
  get_target_property(libs ${target} LINK_LIBRARIES)
  if(libs MATCHES "kill_points")
    message(FATAL_ERROR "${target}: a program with kill points must never be installed")
  endif()
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${QUILLON_BUNDLE_DIR}")
  if(QUILLON_SANITIZE)
    install(CODE "message(FATAL_ERROR \"a sanitizer build must never be installed\")")
  else()
    install(TARGETS ${target} RUNTIME DESTINATION "${QUILLON_INSTALL_BUNDLE_DIR}")
  endif()
endfunction()

# quillon_product_tool(NAME SOURCES...): one of the product's tools, linked
# with quillon_product_common, in the bundle; and for the tests alone a copy
# of it with kill points (src/product/common/KillPoint.h), of the same name in
# the kill-point bundle, which has no install rule.
function(quillon_product_tool name)
  add_executable(${name} ${ARGN} ${QUILLON_ASSERT_CHECK_SOURCE})
  target_link_libraries(${name} PRIVATE quillon_product_common)
  target_compile_options(${name} PRIVATE ${QUILLON_WARNINGS})
  quillon_bundle_executable(${name})
  if(NOT QUILLON_BUILD_TESTS)
    return()
  endif()
  add_executable(${name}_kill_points ${ARGN} ${QUILLON_ASSERT_CHECK_SOURCE})
  target_link_libraries(${name}_kill_points PRIVATE quillon_product_common_kill_points)
  target_compile_options(${name}_kill_points PRIVATE ${QUILLON_WARNINGS})
  set_target_properties(${name}_kill_points PROPERTIES
    OUTPUT_NAME ${name} RUNTIME_OUTPUT_DIRECTORY "${QUILLON_KILL_POINT_BUNDLE_DIR}")
endfunction()

# quillon_bundle_resources(FILES ...): copy resources into the bundle's
# Resources; PROGRAMS (the scripts) into the kill-point bundle's as well.
function(quillon_bundle_resources)
  cmake_parse_arguments(ARG "" "" "FILES;PROGRAMS" ${ARGN})
  foreach(f IN LISTS ARG_FILES ARG_PROGRAMS)
    get_filename_component(base "${f}" NAME)
    configure_file("${f}" "${QUILLON_BUNDLE_RESOURCES_DIR}/${base}" COPYONLY)
  endforeach()
  foreach(f IN LISTS ARG_PROGRAMS)
    get_filename_component(base "${f}" NAME)
    configure_file("${f}" "${QUILLON_KILL_POINT_BUNDLE_DIR}/Resources/${base}" COPYONLY)
  endforeach()
  if(ARG_FILES)
    install(FILES ${ARG_FILES} DESTINATION "${QUILLON_INSTALL_BUNDLE_DIR}/Resources")
  endif()
  if(ARG_PROGRAMS)
    install(PROGRAMS ${ARG_PROGRAMS} DESTINATION "${QUILLON_INSTALL_BUNDLE_DIR}/Resources")
  endif()
endfunction()

# quillon_install_command_link(COMMAND EXECUTABLE): a command on the PATH,
# <prefix>/bin/COMMAND, as a relative link to EXECUTABLE in the bundle. The
# link is listed in install_manifest.txt with the installed files, so that
# what removes an install by that list (scripts/demo.sh --remove) removes it.
function(quillon_install_command_link command executable)
  include(GNUInstallDirs)
  install(CODE "
    set(bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bindir}\")
    file(RELATIVE_PATH target \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\"
         \"\${CMAKE_INSTALL_PREFIX}/${QUILLON_INSTALL_BUNDLE_DIR}/${executable}\")
    message(STATUS \"Installing: \${bindir}/${command} -> \${target}\")
    file(CREATE_LINK \"\${target}\" \"\${bindir}/${command}\" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${bindir}/${command}\")
  ")
endfunction()
