# SPDX-License-Identifier: MIT
# The Python module's install and package, where it is built
# (bindings/python): the component python, which cpack -G DEB makes into
# python3-resource-set.  It holds the module, its typing stubs beside it in
# the Python folder (on Debian lib/python3/dist-packages, the system
# python's), the manual page resource_set_python(3) and the package's
# documentation folder.
#
# The component is left out of a plain cmake --install, which installs the
# tools and the library alone: a module in a prefix's Python folder is
# found only where that folder is on the interpreter's path, as Debian's is
# under /usr.  cmake --install BUILD --component python installs it.
#
# Included by packaging.cmake once the other components are listed and
# before CPack is.
if(NOT TARGET resource_set_python)
  return()
endif()
if(WIN32)
  message(STATUS "The Python module is not installed on Windows")
  return()
endif()

# The folder of Python's site packages under the prefix: the last part of
# the interpreter's own (lib/python3/dist-packages for Debian's).
if(RESOURCE_SET_PYTHON_SITEARCH MATCHES "/(lib[^/]*/python[^/]*/(dist|site)-packages)$")
  set(python_folder ${CMAKE_MATCH_1})
else()
  set(python_folder lib/python${RESOURCE_SET_PYTHON_VERSION}/site-packages)
endif()
set(RESOURCE_SET_PYTHON_INSTALL_DIR ${python_folder} CACHE PATH
    "Where the Python module is installed, under the prefix")

install(TARGETS resource_set_python LIBRARY DESTINATION ${RESOURCE_SET_PYTHON_INSTALL_DIR}
        COMPONENT python EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/bindings/python/resource_set.pyi DESTINATION ${RESOURCE_SET_PYTHON_INSTALL_DIR}
        COMPONENT python EXCLUDE_FROM_ALL)

# The manual page names no folder of the prefix: the build's copy, which
# the docs test renders, is the one installed, gzipped.
resource_set_configure_man_page(${PROJECT_SOURCE_DIR}/docs/man/resource_set_python.3.in
                                ${RESOURCE_SET_MAN_DIR}/resource_set_python.3)
add_custom_command(OUTPUT ${RESOURCE_SET_MAN_DIR}/resource_set_python.3.gz
  COMMAND ${GZIP_PROGRAM} -9nkf ${RESOURCE_SET_MAN_DIR}/resource_set_python.3
  DEPENDS ${RESOURCE_SET_MAN_DIR}/resource_set_python.3)
add_custom_target(python_man_page ALL DEPENDS ${RESOURCE_SET_MAN_DIR}/resource_set_python.3.gz)
install(FILES ${RESOURCE_SET_MAN_DIR}/resource_set_python.3.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man3
        COMPONENT python EXCLUDE_FROM_ALL)

set(RESOURCE_SET_PYTHON_PACKAGE python3-resource-set)
set(python_doc_folder ${CMAKE_INSTALL_DATAROOTDIR}/doc/${RESOURCE_SET_PYTHON_PACKAGE})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${python_doc_folder} RENAME copyright
        COMPONENT python EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${python_doc_folder} COMPONENT python EXCLUDE_FROM_ALL)

list(APPEND CPACK_COMPONENTS_ALL python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME ${RESOURCE_SET_PYTHON_PACKAGE})
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
# The module is built on the limited API of 3.11, which every later
# version keeps; dpkg-shlibdeps adds the C and C++ runtimes.
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3 (>= ${RESOURCE_SET_PYTHON_VERSION})")
if(NOT DPKG_SHLIBDEPS)
  string(APPEND CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS ", libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.0)")
endif()
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "load, check and write resource sets from Python 3
${RESOURCE_SET_ABOUT}
This package holds the Python 3 module resource_set, the loader library
for Python: it opens a set, finds its resources by name, reads any part
of them from any thread, checks a whole set and writes new sets.")
