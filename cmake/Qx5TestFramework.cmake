# The suites (qx5_test_suite) are built with light optimisation whatever the build type: a third
# less compile time, and their own speed does not matter (the code under test is built as
# configured). No one debugs them under Wine: there they also go without debug information,
# and so does GoogleTest, built from its sources: half the time in all.
set(QX5_TEST_OPTIONS $<$<NOT:$<CONFIG:Debug>>:-O1>)
if(WIN32)
  list(APPEND QX5_TEST_OPTIONS -g0)
endif()

# GoogleTest for the suites. Linux uses Debian's build; a Windows cross build compiles the source
# Debian ships (/usr/src/googletest) with the cross compiler, and its suites are run under Wine by
# tests/windows/run.sh rather than discovered by CTest (that would run them at build time).
if(WIN32)
  set(QX5_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
  if(NOT EXISTS ${QX5_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${QX5_GOOGLETEST_SOURCE} "
                        "(Debian package googletest)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${QX5_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(target gtest gtest_main gmock gmock_main)
    target_compile_options(${target} PRIVATE ${QX5_TEST_OPTIONS})
  endforeach()
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
