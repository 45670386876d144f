# How the program ships: the Windows program as a zip; on Linux the
# dynamic build as a Debian package, and the fully static build
# (VORNASK_FULLY_STATIC) as an RPM. Every build gives the same bytes for the
# same sources wherever it runs: no path of the build machine, no time of the
# build.

# The shipped code names its sources relative to the checkout (in assertions
# and in what the compiler records), never by where the checkout happens to
# lie; the build directory's own generated files and links lie inside it.
foreach(shipped IN ITEMS vornask vornask_platform vornask_probe vornask_diag vornask_run vornask_entry)
  target_compile_options(${shipped} PRIVATE -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)
endforeach()

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # The PE header's time stamp would be the time of the link.
  target_link_options(vornask PRIVATE -Wl,--no-insert-timestamp)
  # The Windows program ships as a zip: the .exe, the README and the licence.
  install(TARGETS vornask RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME vornask)
  set(CPACK_PACKAGE_FILE_NAME vornask-${PROJECT_VERSION}-win64)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
else()
include(GNUInstallDirs)
set(VORNASK_MAINTAINER "vornask developers <dev@vornask.org>")
set(VORNASK_PACKAGE_RELEASE 1)

# The man page and the Debian changelog ship compressed the way Debian wants
# them: gzip -9 without a name or time stamp, so every build gives the same bytes.
find_program(GZIP_COMMAND gzip REQUIRED)
foreach(doc IN ITEMS docs/vornask.1 packaging/changelog)
  get_filename_component(name ${doc} NAME)
  if(name STREQUAL "changelog")
    set(name changelog.Debian)
  endif()
  add_custom_command(OUTPUT ${name}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${doc} ${name}
    COMMAND ${GZIP_COMMAND} -9nf ${name}
    DEPENDS ${doc}
    COMMENT "Compressing ${doc}"
    VERBATIM)
  list(APPEND VORNASK_COMPRESSED_DOCS ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(vornask_docs ALL DEPENDS ${VORNASK_COMPRESSED_DOCS})

install(TARGETS vornask RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripping install (cpack, cmake --install --strip) also drops the
# compilers' version notes, which only take room.
find_program(OBJCOPY_COMMAND NAMES ${CMAKE_OBJCOPY} objcopy)
if(OBJCOPY_COMMAND)
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${OBJCOPY_COMMAND}\" --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:vornask>\"
    COMMAND_ERROR_IS_FATAL ANY)
endif()")
endif()
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vornask.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME vornask)
set(CPACK_PACKAGE_CONTACT "${VORNASK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "exact TCP reachability probe for a quorum of services")
set(CPACK_PACKAGE_DESCRIPTION [=[
vornask tries a TCP connection to each of up to ten HOST:PORT targets in
turn, gives each attempt 25 seconds, and exits with status 100 when at
least COUNT of them accepted a connection, 0 otherwise. It prints nothing
on a normal run: its one exit status tells scripts, init steps,
schedulers and health checks whether enough of the services accept
connections.

Its timing per target is fixed and documented, and an optional trace
file beside the executable records every attempt with a time stamp.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_RELOCATABLE OFF)
set(CPACK_STRIP_FILES ON)

if(NOT VORNASK_FULLY_STATIC)
  # The copyright file in Debian's machine-readable format, its licence text
  # taken from LICENSE (indented one blank, empty lines written as " .").
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)
  file(READ LICENSE license)
  string(FIND "${license}" "Permission is hereby granted" start)
  string(SUBSTRING "${license}" ${start} -1 license)
  string(STRIP "${license}" license)
  string(REPLACE "\n\n" "\n.\n" license "${license}")
  string(REPLACE "\n" "\n " license "${license}")
  set(VORNASK_LICENSE_TEXT " ${license}")
  configure_file(packaging/copyright.in copyright @ONLY)

  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME vornask)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${VORNASK_PACKAGE_RELEASE})
  # The package version is the newest entry of its changelog.
  file(STRINGS packaging/changelog newest_entry LIMIT_COUNT 1)
  if(NOT newest_entry MATCHES "^vornask \\(${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}\\) ")
    message(FATAL_ERROR "packaging/changelog starts with '${newest_entry}': "
      "add an entry for ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
  endif()
  # Debian's name for the architecture the program is built for, which for a
  # cross build is not the one dpkg runs on.
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|amd64|AMD64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  endif()
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  if(CMAKE_CROSSCOMPILING)
    set(CPACK_VORNASK_READELF ${CMAKE_READELF})
    set(CPACK_VORNASK_PROGRAM ${CMAKE_BINARY_DIR}/vornask)
    set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cross_deb_depends.cmake)
  else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
else()
  # The RPM ships the fully static program, which needs nothing of the
  # system it is installed on: no C library version to depend on.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/licenses/vornask)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

  set(CPACK_GENERATOR RPM)
  set(CPACK_RPM_PACKAGE_RELEASE ${VORNASK_PACKAGE_RELEASE})
  set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    set(CPACK_RPM_PACKAGE_ARCHITECTURE aarch64)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|amd64|AMD64)$")
    set(CPACK_RPM_PACKAGE_ARCHITECTURE x86_64)
  endif()
  set(CPACK_RPM_PACKAGE_LICENSE MIT)
  set(CPACK_RPM_PACKAGE_GROUP "Applications/Internet")
  set(CPACK_RPM_PACKAGE_VENDOR "vornask developers")
  set(CPACK_RPM_PACKAGE_URL "https://vornask.org/")
  set(CPACK_RPM_PACKAGE_SUMMARY "Exact TCP reachability probe for a quorum of services")
  set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
  set(CPACK_RPM_PACKAGE_AUTOREQPROV OFF)
  set(CPACK_RPM_USER_FILELIST
    "%license /usr/share/licenses/vornask/LICENSE"
    "%doc /usr/share/doc/vornask/README.md")
  list(APPEND CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/licenses /usr/share/doc /usr/share/man /usr/share/man/man1)
  set(CPACK_RPM_CHANGELOG_FILE ${PROJECT_SOURCE_DIR}/packaging/rpm-changelog)
  file(STRINGS packaging/rpm-changelog newest_entry LIMIT_COUNT 1)
  if(NOT newest_entry MATCHES " - ${PROJECT_VERSION}-${VORNASK_PACKAGE_RELEASE}$")
    message(FATAL_ERROR "packaging/rpm-changelog starts with '${newest_entry}': "
      "add an entry for ${PROJECT_VERSION}-${VORNASK_PACKAGE_RELEASE}")
  endif()
  # rpmbuild's own steps after the install (stripping, compressing, build-id
  # links) are cpack's already or not wanted. The build host and time
  # recorded in the package are fixed and the file dates clamped when
  # SOURCE_DATE_EPOCH is set (scripts/release sets it to the last commit's).
  set(CPACK_RPM_SPEC_INSTALL_POST /bin/true)
  set(CPACK_RPM_SPEC_MORE_DEFINE "
%define packager ${VORNASK_MAINTAINER}
%define _buildhost reproducible
%define _build_id_links none
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define _binary_payload w9.xzdio")
endif()
include(CPack)
endif()
