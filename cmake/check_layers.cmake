# Fails when a source file includes a header of a layer above its own.
#
#   cmake -DSOURCE_DIR=<project>/src [-DSTAMP=<file>] -P cmake/check_layers.cmake
#
# The layers, from the bottom: platform (what the system supplies), probe
# (the TCP client), diag (the trace), run (the run's procedures, which see
# the client, the clock and the process only through their interfaces), and
# the entry on top, which wires the real ones in. Each rule lists what a
# layer's files may include of the project's own headers.
set(allowed_platform "^platform/")
set(allowed_probe "^(platform|probe)/")
set(allowed_diag "^(platform|diag)/")
# The run takes the client, the clock and the standard error stream as
# interfaces; the real ones, the process end and the executable's place
# belong to the entry.
set(allowed_run "^(platform/(argument_text|env|standard_error|trace_file)\\.h|probe/tcp_client\\.h|diag/|run/)")
set(allowed_entry "^(platform|probe|diag|run|entry)/")

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers: SOURCE_DIR is not set")
endif()

set(violations)
foreach(layer platform probe diag run entry)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cc")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
      if(NOT header MATCHES "${allowed_${layer}}")
        file(RELATIVE_PATH shown "${SOURCE_DIR}/.." "${file}")
        list(APPEND violations "  ${shown} (${layer}) includes \"${header}\"")
      endif()
    endforeach()
  endforeach()
endforeach()

# Nothing outside the layers' folders but the Windows resources.
file(GLOB strays "${SOURCE_DIR}/*.cc" "${SOURCE_DIR}/*.h")
foreach(file IN LISTS strays)
  file(RELATIVE_PATH shown "${SOURCE_DIR}/.." "${file}")
  list(APPEND violations "  ${shown} belongs to no layer")
endforeach()

if(violations)
  list(JOIN violations "\n" text)
  message(FATAL_ERROR "An include points up the layers (platform <- probe <- diag <- run <- entry):\n${text}")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
