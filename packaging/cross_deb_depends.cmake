# Read by cpack before it makes a package (CPACK_PROJECT_CONFIG_FILE) of a
# cross build. dpkg-shlibdeps knows only this machine's libraries, so the
# Debian package of a program built for another architecture depends on the
# C library of the newest GLIBC_ symbol version the program needs: the
# program links nothing else dynamically (its C++ runtime is linked in).
if(CPACK_GENERATOR STREQUAL "DEB")
  execute_process(COMMAND "${CPACK_VORNASK_READELF}" -VW "${CPACK_VORNASK_PROGRAM}"
    OUTPUT_VARIABLE version_needs COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "Name: GLIBC_[0-9.]+" needed "${version_needs}")
  set(newest 0)
  foreach(entry IN LISTS needed)
    string(REGEX REPLACE "^Name: GLIBC_" "" version "${entry}")
    if(version VERSION_GREATER newest)
      set(newest ${version})
    endif()
  endforeach()
  if(newest STREQUAL "0")
    message(FATAL_ERROR "${CPACK_VORNASK_PROGRAM} needs no GLIBC_ version: not the dynamic program")
  endif()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${newest})")
endif()
