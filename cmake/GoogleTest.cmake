# GoogleTest is built from Debian's googletest sources in every preset, so the
# sanitizer and cross builds link a library compiled with their own flags.
set(CV_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${CV_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found at ${CV_GOOGLETEST_SOURCE}; run scripts/install-deps")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${CV_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# One ctest test per binary: under Wine each start costs seconds, and the
# binary prints every case anyway.
# The bound of one test run; CV_TEST_TIMEOUT (seconds, from the environment
# at configure time) lowers it where a hang should end sooner, as in a
# mutation run.
if(DEFINED ENV{CV_TEST_TIMEOUT})
  set(CV_TEST_TIMEOUT $ENV{CV_TEST_TIMEOUT})
else()
  set(CV_TEST_TIMEOUT 600)
endif()
math(EXPR CV_LONG_TEST_TIMEOUT "${CV_TEST_TIMEOUT} * 3 / 2")

function(cv_add_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock)
  if(NOT CV_WINDOWS)
    # The POSIX file adapter in its strict mode: each native test links the platform.
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/strict_sharing.cpp)
    target_link_libraries(${name} PRIVATE cv_platform)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${CV_TEST_TIMEOUT})
endfunction()
