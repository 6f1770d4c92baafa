# The generators that run during a cross build (the pg_type image writer),
# built for the build machine from this same source tree with its own
# compiler, as an imported `vesk_typeimage` the build rules call by name.
include(ExternalProject)
set(_host_dir ${CMAKE_BINARY_DIR}/host-tools)
set(_host_typeimage ${_host_dir}/bin/vesk_typeimage${CMAKE_HOST_EXECUTABLE_SUFFIX})
ExternalProject_Add(vesk_host_tools
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${_host_dir}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DVESK_SANITIZE=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target vesk_typeimage
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${_host_typeimage})
add_executable(vesk_typeimage IMPORTED GLOBAL)
set_target_properties(vesk_typeimage PROPERTIES IMPORTED_LOCATION ${_host_typeimage})
add_dependencies(vesk_catalog vesk_host_tools)
