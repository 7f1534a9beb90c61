# SPDX-License-Identifier: MIT
# Run by CPack after the packages are made: CPack gives a package that holds
# a shared library maintainer scripts that call ldconfig, which Debian does
# through libc-bin's trigger instead (the package's triggers file activates
# it).  The library package is rebuilt without those scripts.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "/libresource-set(-physfs|-sdl)?[0-9]+_[^/]*\\.deb$")
    continue()
  endif()
  set(tree "${package}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
  execute_process(COMMAND dpkg-deb --root-owner-group -b "${tree}" "${package}" OUTPUT_QUIET
                  COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
