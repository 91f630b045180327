# Helpers shared by the module CMakeLists files.

# tessera_add_gtest(<name> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable per module, registered test by test with CTest.
# Tests find their fixtures through TESSERA_SOURCE_DIR and run in a scratch
# directory of their own so that they never write into the source tree.
function(tessera_add_gtest name)
  if(NOT TESSERA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} test_support GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    TESSERA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TESSERA_BIN_DIR="${TESSERA_BIN_DIR}")
  set(workdir ${CMAKE_BINARY_DIR}/testrun/${name})
  file(MAKE_DIRECTORY ${workdir})
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${workdir}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()

# tessera_add_bench(<name> SOURCES <files...> LIBS <targets...>)
function(tessera_add_bench name)
  if(NOT TESSERA_BUILD_BENCH)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark Threads::Threads)
  target_compile_definitions(${name} PRIVATE TESSERA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# tessera_add_qtest(<name> SOURCES <files...> LIBS <targets...>)
# A Qt Test executable (desktop program), one CTest test, run offscreen in a
# scratch directory of its own.
function(tessera_add_qtest name)
  if(NOT TESSERA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} test_support Qt6::Test Qt6::Widgets)
  target_compile_definitions(${name} PRIVATE
    TESSERA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TESSERA_BIN_DIR="${TESSERA_BIN_DIR}")
  set(workdir ${CMAKE_BINARY_DIR}/testrun/${name})
  file(MAKE_DIRECTORY ${workdir})
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${workdir})
  # Qt makes a runtime folder under /tmp when none is given; the tests' own
  # keeps them from leaving one behind.
  set(runtime ${CMAKE_BINARY_DIR}/testrun/xdg-runtime)
  file(MAKE_DIRECTORY ${runtime})
  file(CHMOD ${runtime} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${runtime};${ARG_ENVIRONMENT}")
endfunction()
