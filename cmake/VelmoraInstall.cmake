# What `cmake --install` puts in place: the shared library and its C interface
# companion (libvelmora_c.so), with their soname links; the public headers; the
# velmora tool; a CMake package (find_package(Velmora) with the imported targets
# Velmora::velmora and Velmora::velmora_c) and the pkg-config file velmora.pc.
# All of it is relocatable: the package files find the prefix from where they lie.
include(CMakePackageConfigHelpers)

target_include_directories(velmora INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS velmora velmora_c EXPORT VelmoraTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/velmora/velmora.h ${PROJECT_SOURCE_DIR}/include/velmora/velmora.hpp
  ${PROJECT_SOURCE_DIR}/include/velmora/velmora_exports.h ${PROJECT_SOURCE_DIR}/include/velmora/velmora_c.h
  ${PROJECT_SOURCE_DIR}/include/velmora/velmora_c_ops.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velmora)
install(TARGETS velmora_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(VELMORA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Velmora)
install(EXPORT VelmoraTargets NAMESPACE Velmora:: DESTINATION ${VELMORA_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VelmoraConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VelmoraConfig.cmake INSTALL_DESTINATION ${VELMORA_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VelmoraConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VelmoraConfig.cmake ${PROJECT_BINARY_DIR}/VelmoraConfigVersion.cmake
  DESTINATION ${VELMORA_CMAKE_DIR})

# The pkg-config file names the prefix relative to its own folder.
file(RELATIVE_PATH VELMORA_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VELMORA_PC_TO_PREFIX "${VELMORA_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/velmora.pc.in ${PROJECT_BINARY_DIR}/velmora.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velmora.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The SQLite extension (sqlite/), built only where SQLite is present, goes
# beside the library it links to and finds it there.
function(velmora_install_sqlite_module target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${target} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()
