# The 32-bit Windows build: Velmora.dll with the fixed export table, and the
# Windows test programs that run under Wine.

# Entry points may be called with the stack aligned to 4 bytes only; the
# compiler then realigns wherever it needs more.
get_property(velmora_layers GLOBAL PROPERTY VELMORA_LAYERS)
foreach(layer ${velmora_layers})
  target_compile_options(${layer} PRIVATE -mincoming-stack-boundary=2)
endforeach()

add_library(Velmora SHARED ${PROJECT_SOURCE_DIR}/src/dll_src/win32/DllEntry.cpp ${VELMORA_DEF_FILE})
target_compile_options(Velmora PRIVATE -mincoming-stack-boundary=2)
target_link_libraries(Velmora PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,velmora_dll_src>")
# The C and C++ runtimes (and the thread runtime) go into the DLL, so it needs
# only system DLLs.  The module-definition file maps each undecorated export
# name to its __stdcall function.
target_link_options(Velmora PRIVATE -static -static-libgcc -static-libstdc++
                    -Wl,--enable-stdcall-fixup -Wl,--no-undefined)
set_target_properties(Velmora PROPERTIES PREFIX "" OUTPUT_NAME Velmora
                      LINK_DEPENDS ${VELMORA_DEF_FILE})

if(VELMORA_TESTS)
  enable_testing()
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/win32 ${PROJECT_BINARY_DIR}/tests/win32)
endif()
