# OVRA_SANITIZE=thread builds everything with ThreadSanitizer;
# OVRA_SANITIZE=address with AddressSanitizer and UndefinedBehaviorSanitizer.
#
# OVRA_TEST_ENVIRONMENT holds what the tests' environment needs for the
# chosen sanitizer.
set(OVRA_TEST_ENVIRONMENT "")
if(OVRA_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  set(OVRA_TEST_ENVIRONMENT
    "TSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/tsan.supp:halt_on_error=1:second_deadlock_stack=1")
elseif(OVRA_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(NOT OVRA_SANITIZE STREQUAL "")
  message(FATAL_ERROR "OVRA_SANITIZE must be '', 'thread' or 'address'")
endif()

# Fuzzing: coverage instrumentation everywhere, the fuzzer's main only in
# the targets (tests/fuzz).
if(OVRA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "OVRA_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The sanitizers' instrumentation changes GCC's inlining enough to raise
# -Wmaybe-uninitialized on std::optional members (Option, Try) that are
# always initialised; the ordinary build keeps the warning.
if(NOT OVRA_SANITIZE STREQUAL "")
  add_compile_options(-Wno-maybe-uninitialized)
endif()

# Sanitizer and fuzz builds exist to find faults, not to ship: -O1 with
# line tables compiles in about half the time of -O2 -g on two cores, and
# every report's stack still names its lines.
if(NOT OVRA_SANITIZE STREQUAL "" OR OVRA_FUZZ)
  set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-O1 -g1 -DNDEBUG")
endif()
