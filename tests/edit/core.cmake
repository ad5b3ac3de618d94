# The plain edit session and the file joins, driven tick by tick with a fake
# audio library, a recording view and a clock of the test's own.
ormid_gtest(edit_core_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/EditSessionTest.cpp ${CMAKE_CURRENT_LIST_DIR}/AudioEditTest.cpp
  LIBS edit_core image)
target_include_directories(edit_core_test PRIVATE ${CMAKE_SOURCE_DIR}/tests/image ${CMAKE_CURRENT_LIST_DIR})

# ormid-cli silence and append, run as the built program.
ormid_gtest(edit_cli_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/EditCliTest.cpp LIBS edit_core image)
target_include_directories(edit_cli_test PRIVATE ${CMAKE_SOURCE_DIR}/tests/image ${CMAKE_CURRENT_LIST_DIR})
add_dependencies(edit_cli_test ormid-cli)
