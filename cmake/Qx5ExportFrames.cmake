# qx5_export_frames(TABLE HEADER OUT_DIR): makes, from the export table and the public header,
#   OUT_DIR/qx5dll_gauge.h          the twins' declarations (QX5GaugeName(gauge, ...)), public
#   OUT_DIR/qx5_export_bodies.h     qx5::exports::Name, the body every export is written as
#   OUT_DIR/qx5_exports.cpp         every export and twin: its frame around its body
# so the ~180 exports are one loop here, and no export takes a lock or binds a gauge by hand.
# Re-runs whenever the table or the header changes.

include(Qx5ExportTable)

# The declaration of `name` in the comment-free header: its result type and parameter list.
function(_qx5_declaration content name result_var params_var)
  string(REGEX MATCH "QX5_(API|EXPORT)[ \t\r\n]+([A-Za-z0-9_ \t\*]+)[ \t\r\n]+QX5_CALL[ \t\r\n]+${name}\\(([^)]*)\\)[ \t\r\n]*;"
         found "${content}")
  if(NOT found)
    message(FATAL_ERROR "qx5dll.h declares no export ${name}")
  endif()
  string(STRIP "${CMAKE_MATCH_2}" result)
  string(REGEX REPLACE "[ \t\r\n]+" " " params "${CMAKE_MATCH_3}")
  string(STRIP "${params}" params)
  if(params STREQUAL "void")
    set(params "")
  endif()
  set(${result_var} "${result}" PARENT_SCOPE)
  set(${params_var} "${params}" PARENT_SCOPE)
endfunction()

# "float* portA, float* portB" -> "portA, portB".
function(_qx5_argument_names params out_var)
  set(names "")
  if(NOT params STREQUAL "")
    string(REPLACE "," ";" list "${params}")
    foreach(param IN LISTS list)
      string(STRIP "${param}" param)
      if(NOT param MATCHES "([A-Za-z_][A-Za-z0-9_]*)$")
        message(FATAL_ERROR "qx5dll.h: parameter '${param}' has no name")
      endif()
      list(APPEND names "${CMAKE_MATCH_1}")
    endforeach()
  endif()
  list(JOIN names ", " joined)
  set(${out_var} "${joined}" PARENT_SCOPE)
endfunction()

function(qx5_export_frames table header out_dir)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
  file(READ ${header} content)
  # Comments out, so a declaration quoted in a comment is never taken for the real one.
  string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" "" content "${content}")
  qx5_read_export_table(${table} row)

  set(banner "Generated from qx5_dll/api/export_table.txt and qx5dll.h; edit those, not this file.")
  set(twins "")
  set(bodies "")
  set(exports "")
  foreach(name ordinal frame cxx IN ZIP_LISTS row_NAMES row_ORDINALS row_FRAMES row_LINKAGES)
    if(ordinal STREQUAL "-")
      continue()  # the OLE-automation functions are no exports of ours in this sense
    endif()
    if(frame STREQUAL "-")
      message(FATAL_ERROR "${table}: ${name} names no frame")
    endif()
    set(linkage "QX5_API")
    if(cxx STREQUAL "c++")
      set(linkage "QX5_EXPORT")
    endif()

    if(frame STREQUAL "twin")
      string(REGEX REPLACE "^QX5Gauge" "" base "${name}")
      if(base STREQUAL name)
        message(FATAL_ERROR "${table}: twin ${name} is not named QX5Gauge<export>")
      endif()
      _qx5_declaration("${content}" ${base} result params)
      _qx5_argument_names("${params}" arguments)
      set(twin_params "int32_t gauge")
      if(NOT params STREQUAL "")
        string(APPEND twin_params ", ${params}")
      endif()
      string(APPEND twins "QX5_API ${result} QX5_CALL ${name}(${twin_params});\n")
      string(APPEND exports
             "${linkage} ${result} QX5_CALL ${name}(${twin_params}) {\n"
             "  QX5_LOG_SCOPE(scope, \"${name}\", \"${name} %d\", static_cast<int>(gauge));\n"
             "  return qx5::api::onGauge(scope, gauge, [&] { return qx5::exports::${base}(${arguments}); });\n"
             "}\n")
      continue()
    endif()

    if(frame STREQUAL "gauge")
      set(call "qx5::api::onSelectedGauge")
    elseif(frame STREQUAL "library")
      set(call "qx5::api::underLibraryLock")
    elseif(frame STREQUAL "free")
      set(call "qx5::api::unframed")
    else()
      message(FATAL_ERROR "${table}: '${frame}' for ${name} is no frame (gauge, library, free, twin)")
    endif()
    _qx5_declaration("${content}" ${name} result params)
    _qx5_argument_names("${params}" arguments)
    string(APPEND bodies "${result} ${name}(${params});\n")
    string(APPEND exports
           "${linkage} ${result} QX5_CALL ${name}(${params}) {\n"
           "  return ${call}([&] { return qx5::exports::${name}(${arguments}); });\n"
           "}\n")
  endforeach()

  file(CONFIGURE OUTPUT ${out_dir}/qx5dll_gauge.h @ONLY CONTENT
"/* qx5dll_gauge.h: the twin of every gauge command, taking a handle from QX5GaugeOpen() first
 * and otherwise as the export it is named after (see qx5dll.h, which includes this file).
 * ${banner} */
#ifndef QX5DLL_GAUGE_H
#define QX5DLL_GAUGE_H

${twins}
#endif /* QX5DLL_GAUGE_H */
")
  file(CONFIGURE OUTPUT ${out_dir}/qx5_export_bodies.h @ONLY CONTENT
"// ${banner}
// The body of every export, written where the export's concern lives; the generated export
// calls it inside its frame.
#pragma once

#include \"qx5dll.h\"

namespace qx5::exports {

${bodies}
}  // namespace qx5::exports
")
  file(CONFIGURE OUTPUT ${out_dir}/qx5_exports.cpp @ONLY CONTENT
"// ${banner}
#include \"qx5_dll/api/CallFrame.h\"
#include \"qx5_export_bodies.h\"

${exports}")
endfunction()
