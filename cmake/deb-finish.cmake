# Run by CPack after it built the Debian packages. Each is packed again by
# dpkg-deb, which gives every file in it and the archive's own members the
# same modes, whatever the umask was, and stamps them with
# SOURCE_DATE_EPOCH. libquarnel-dev also gets a field CPack does not write:
# Multi-Arch: same (its library and packages lie in lib/TUPLE, its headers
# are the same on every architecture).
set(file_mode OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(folder_mode OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
  WORLD_EXECUTE)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name "${package}" NAME)
  if(NOT name MATCHES "\\.deb$")
    continue()
  endif()
  set(tree "${package}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  if(name MATCHES "^libquarnel-dev_")
    file(READ "${tree}/DEBIAN/control" control)
    string(REGEX REPLACE "\n+$" "\n" control "${control}")
    file(WRITE "${tree}/DEBIAN/control" "${control}Multi-Arch: same\n")
  endif()
  file(GLOB control_files "${tree}/DEBIAN/*")
  file(CHMOD ${control_files} PERMISSIONS ${file_mode})
  file(CHMOD "${tree}/DEBIAN" PERMISSIONS ${folder_mode})
  execute_process(COMMAND dpkg-deb --root-owner-group -b "${tree}" "${package}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
