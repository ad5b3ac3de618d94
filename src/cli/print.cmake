# ormid-cli print-listing and print-labels load the printing module at run
# time (src/print), so that no other command loads Qt.
add_dependencies(ormid-cli ormidprint)
target_include_directories(ormid-cli PRIVATE ${CMAKE_SOURCE_DIR}/src/print)
target_link_libraries(ormid-cli PRIVATE ${CMAKE_DL_LIBS})
