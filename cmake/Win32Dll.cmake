# The 32-bit Windows build: Velmora.dll with the fixed export table, and the
# Windows test programs that run under Wine.

# Entry points may be called with the stack aligned to 4 bytes only; the
# compiler then realigns wherever it needs more.
target_compile_options(velmora_engine PRIVATE -mincoming-stack-boundary=2)

file(GLOB win32_entry_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/dll_src/win32/*.cpp)
add_library(Velmora SHARED ${win32_entry_sources} ${VELMORA_DEF_FILE})
target_compile_options(Velmora PRIVATE -mincoming-stack-boundary=2)
target_link_libraries(Velmora PRIVATE -Wl,--whole-archive velmora_engine -Wl,--no-whole-archive)
# The C and C++ runtimes (and the thread runtime) go into the DLL, so it needs
# only system DLLs.  The module-definition file maps each undecorated export
# name to its __stdcall function.
target_link_options(Velmora PRIVATE -static -static-libgcc -static-libstdc++
                    -Wl,--enable-stdcall-fixup -Wl,--no-undefined)
set_target_properties(Velmora PROPERTIES PREFIX "" OUTPUT_NAME Velmora
                      LINK_DEPENDS ${VELMORA_DEF_FILE})

if(VELMORA_TESTS)
  enable_testing()
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/win32 ${CMAKE_BINARY_DIR}/tests/win32)
endif()
