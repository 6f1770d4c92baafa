# One static library per source folder; new files in the folder join it
# without editing the build.
function(vesk_library name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  # Each operating system's implementation file is built on that system only.
  if(WIN32)
    list(FILTER _srcs EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER _srcs EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  if(NOT _srcs)
    # A folder not written yet still gives a (empty) library to link against.
    set(_srcs ${CMAKE_BINARY_DIR}/empty_${name}.cpp)
    file(WRITE ${_srcs} "")
  endif()
  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/include)
  if(ARGN)
    target_link_libraries(${name} PUBLIC ${ARGN})
  endif()
endfunction()

# One GoogleTest program per test folder, registered with CTest.
function(vesk_test name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  add_executable(${name} ${_srcs})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tools)
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE VESK_SHARED_DIR="${CMAKE_SOURCE_DIR}/../shared"
                                             VESK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  # A test that finds no real data to work on says "[  SKIPPED ]": ctest
  # counts it as skipped rather than passed, and lists it at the end.
  # VESK_TEST_PROPERTIES, set by the caller, adds properties to every test
  # of the program (e.g. FIXTURES_REQUIRED pg_server).
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 600 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]" ${VESK_TEST_PROPERTIES})
endfunction()
