# Writes the linker's export files from the one list of exports,
# include/velmora/velmora_exports.h (an entry per export: ordinal, result,
# name, parameters):
#   ${VELMORA_VERSION_SCRIPT}  the Linux version script: the exports, nothing else
#   ${VELMORA_DEF_FILE}        the Windows module-definition file: each name
#                              with its ordinal
# Both builds write both files, so the native build's export check and the
# Windows build's DLL check read the same table.  CMake configures again when
# the list changes.
set(VELMORA_EXPORT_LIST ${PROJECT_SOURCE_DIR}/include/velmora/velmora_exports.h)
set(VELMORA_VERSION_SCRIPT ${PROJECT_BINARY_DIR}/exports/velmora.map)
set(VELMORA_DEF_FILE ${PROJECT_BINARY_DIR}/exports/Velmora.def)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VELMORA_EXPORT_LIST})

file(STRINGS ${VELMORA_EXPORT_LIST} entries REGEX "^VELMORA_EXPORT\\(")
set(names)
set(last_ordinal 0)
set(script_names "")
set(def_lines "")
foreach(entry IN LISTS entries)
  if(NOT entry MATCHES "^VELMORA_EXPORT\\(([0-9]+), *[^,]+, *([A-Za-z_][A-Za-z0-9_]*),")
    message(FATAL_ERROR "${VELMORA_EXPORT_LIST}: cannot read the entry: ${entry}")
  endif()
  set(ordinal ${CMAKE_MATCH_1})
  set(name ${CMAKE_MATCH_2})
  if(NOT ordinal GREATER last_ordinal)
    message(FATAL_ERROR "${VELMORA_EXPORT_LIST}: ${name} @${ordinal} is out of ordinal order")
  endif()
  if(name IN_LIST names)
    message(FATAL_ERROR "${VELMORA_EXPORT_LIST}: ${name} is listed twice")
  endif()
  list(APPEND names ${name})
  set(last_ordinal ${ordinal})
  string(APPEND script_names "    ${name};\n")
  string(LENGTH "${name}" length)
  math(EXPR padding "29 - ${length}")
  string(REPEAT " " ${padding} spaces)
  string(APPEND def_lines "  ${name}${spaces}@${ordinal}\n")
endforeach()
list(LENGTH names count)
if(NOT count EQUAL 58)
  message(FATAL_ERROR "${VELMORA_EXPORT_LIST} lists ${count} exports, not 58")
endif()

set(generated "written by the build from include/velmora/velmora_exports.h")
file(CONFIGURE OUTPUT ${VELMORA_VERSION_SCRIPT} CONTENT
"/* The exports of libvelmora.so, ${generated}. */
{
  global:
${script_names}  local: *;
};
")
file(CONFIGURE OUTPUT ${VELMORA_DEF_FILE} CONTENT
"; Export table of the 32-bit Windows library, ${generated}:
; every entry point by its undecorated __stdcall name and its fixed ordinal.
LIBRARY \"Velmora.dll\"
EXPORTS
${def_lines}")
