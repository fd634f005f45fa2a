# One way to register a GoogleTest executable's tests with CTest.
#
# In the sanitizer build every test runs with the LeakSanitizer suppressions
# of tests/lsan.supp (third-party libraries only); the same environment reaches
# the programs that tests start.
include(GoogleTest)

set(VISTREL_TEST_ENVIRONMENT "")
if(VISTREL_SANITIZE)
  set(VISTREL_TEST_ENVIRONMENT
      "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
endif()

function(vistrel_discover_tests target)
  if(VISTREL_TEST_ENVIRONMENT)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 ${ARGN}
                         PROPERTIES ENVIRONMENT "${VISTREL_TEST_ENVIRONMENT}")
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 ${ARGN})
  endif()
endfunction()
