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
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
