# The test support library: the test platforms (counting, fault injection) and
# the header-only helpers of tests/support.  The tests and the benchmark both
# include this file; the first one defines the library.
include_guard(GLOBAL)

add_library(velmora_test_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CountingPlatform.cpp ${CMAKE_CURRENT_LIST_DIR}/FaultPlatform.cpp)
target_include_directories(velmora_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(velmora_test_support PUBLIC velmora_engine)
