# Run by CPack after it built the Debian packages: libquarnel-dev is
# Multi-Arch: same (its library and packages lie in lib/TUPLE, its headers
# are the same on every architecture), a field CPack does not write.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name "${package}" NAME)
  if(NOT name MATCHES "^libquarnel-dev_.*\\.deb$")
    continue()
  endif()
  set(tree "${package}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(READ "${tree}/DEBIAN/control" control)
  string(REGEX REPLACE "\n+$" "\n" control "${control}")
  file(WRITE "${tree}/DEBIAN/control" "${control}Multi-Arch: same\n")
  execute_process(COMMAND dpkg-deb --root-owner-group -b "${tree}" "${package}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
