# Fuzz build: clang only. Every object is instrumented for libFuzzer's coverage
# and checked by AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz
# programs in tests/fuzz link the fuzzer's driver.
option(ORMID_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(ORMID_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR NOT CMAKE_C_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ORMID_FUZZ needs clang (CC=clang-14 CXX=clang++-14)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -gline-tables-only)
  add_link_options(-fsanitize=address,undefined)
  add_compile_definitions(ORMID_SANITIZED=1 ORMID_FUZZING=1)
endif()
