# The one version number of ORMID (project(... VERSION ...)) as a header for
# the programs: target ormid_version, header "OrmidVersion.h".
set(ORMID_VERSION ${PROJECT_VERSION})
configure_file(${CMAKE_SOURCE_DIR}/cmake/OrmidVersion.h.in
               ${CMAKE_BINARY_DIR}/generated/OrmidVersion.h @ONLY)
add_library(ormid_version INTERFACE)
target_include_directories(ormid_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
