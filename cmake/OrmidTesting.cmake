# Test executables live beside the build, not in the program folder.
set(ORMID_TEST_DIR ${CMAKE_BINARY_DIR}/tests)

# ormid_gtest(NAME SOURCES ... LIBS ... [LABELS ...])
function(ormid_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS ${name})
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/common)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORMID_TEST_DIR})
  target_compile_definitions(${name} PRIVATE
    ORMID_BIN_DIR="${ORMID_BIN_DIR}"
    ORMID_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${ORMID_TEST_DIR}
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT 300)
endfunction()

# ormid_qtest(NAME SOURCES ... LIBS ...): a Qt Test program on the offscreen platform.
function(ormid_qtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS ${name})
  endif()
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON RUNTIME_OUTPUT_DIRECTORY ${ORMID_TEST_DIR})
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test Qt6::Widgets Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/common)
  target_compile_definitions(${name} PRIVATE
    ORMID_BIN_DIR="${ORMID_BIN_DIR}"
    ORMID_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${ORMID_TEST_DIR})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    LABELS "${T_LABELS}" TIMEOUT 300)
endfunction()
