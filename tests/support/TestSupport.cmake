# The test support library: the test platforms (counting, fault injection) and
# the header-only helpers of tests/support.  The tests and the benchmark both
# include this file; the first one defines the library.
include_guard(GLOBAL)

file(GLOB velmora_test_support_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
add_library(velmora_test_support STATIC ${velmora_test_support_sources})
target_include_directories(velmora_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(velmora_test_support PUBLIC velmora_engine)
