# SPDX-License-Identifier: MIT
# The adapters' install and packages, included by packaging.cmake.  For each
# adapter built (RESOURCE_SET_ADAPTERS_BUILT: physfs, sdl), two components:
#   NAME      its shared library: the package libresource-set-NAME1;
#   NAME-dev  its header, static library, CMake targets (in the ResourceSet
#             package, as ResourceSet::NAME), pkg-config file
#             resource-set-NAME and manual page: libresource-set-NAME-dev.
# An adapter not built (its library not found, as in the cross builds) has
# neither; the Windows zip then carries none.

set(RESOURCE_SET_ADAPTER_COMPONENTS "")
set(RESOURCE_SET_ADAPTER_PACKAGES "")
set(adapter_module_physfs physfs)
set(adapter_module_sdl sdl2)
set(adapter_library_physfs PhysicsFS)
set(adapter_library_sdl SDL2)
set(adapter_debian_physfs libphysfs-dev)
set(adapter_debian_sdl libsdl2-dev)
set(adapter_about_physfs "an archiver of resource sets for PhysicsFS
After one call, PHYSFS_mount mounts a resource set beside zip files and
folders, and every PhysicsFS function lists, stats and reads its files.")
set(adapter_about_sdl "resources of a set as SDL2 streams
A resource of an open set becomes an SDL_RWops, which SDL_LoadBMP_RW,
IMG_Load_RW, Mix_LoadWAV_RW and any other SDL function reading a stream
take.")

# dpkg-shlibdeps finds the loader library the adapters link in the build.
if(RESOURCE_SET_ADAPTERS_BUILT AND TARGET resource_set_shared)
  get_target_property(loader_dir resource_set_shared BINARY_DIR)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${loader_dir})
endif()
foreach(adapter IN LISTS RESOURCE_SET_ADAPTERS_BUILT)
  set(name resource_set_${adapter})
  set(package libresource-set-${adapter}${PROJECT_VERSION_MAJOR})
  set(dev_package libresource-set-${adapter}-dev)
  list(APPEND RESOURCE_SET_ADAPTER_COMPONENTS ${adapter} ${adapter}-dev)
  list(APPEND RESOURCE_SET_ADAPTER_PACKAGES ${package})
  if(TARGET ${name}_shared)
    install(TARGETS ${name}_shared EXPORT ResourceSet-${adapter}-Targets
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${adapter} NAMELINK_COMPONENT ${adapter}-dev
            RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${adapter}
            ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${adapter}-dev)
  endif()
  install(TARGETS ${name}_static EXPORT ResourceSet-${adapter}-Targets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${adapter}-dev)
  install(FILES ${PROJECT_SOURCE_DIR}/adapters/${adapter}/${name}.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
          COMPONENT ${adapter}-dev)
  install(EXPORT ResourceSet-${adapter}-Targets NAMESPACE ResourceSet:: DESTINATION ${RESOURCE_SET_CMAKE_DIR}
          COMPONENT ${adapter}-dev)
  install_man_pages(${adapter}-dev ${name}.3)

  # pkg-config: the adapter's library, with the loader's and its own, which
  # a program that uses the adapter calls too.
  set(pc ${PROJECT_BINARY_DIR}/pc-installed/resource-set-${adapter}.pc)
  set(requires "Requires: resource-set ${adapter_module_${adapter}}")
  install(CODE "
    set(prefix \"${RESOURCE_SET_PC_PREFIX}\")
    file(WRITE \"${pc}\" \"prefix=\${prefix}
libdir=\\\${prefix}/${CMAKE_INSTALL_LIBDIR}
includedir=\\\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}

Name: resource-set-${adapter}
Description: Resource sets for ${adapter_library_${adapter}}
Version: ${PROJECT_VERSION}
${requires}
Libs: -L\\\${libdir} -l${name}
Cflags: -I\\\${includedir}
\")
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\" TYPE FILE FILES \"${pc}\")
  " COMPONENT ${adapter}-dev)

  # Each package's documentation folder: the licence and the changelog.
  if(NOT WIN32)
    foreach(component IN ITEMS ${adapter} ${adapter}-dev)
      if(component STREQUAL adapter AND NOT TARGET ${name}_shared)
        continue()
      endif()
      if(component STREQUAL adapter)
        set(folder ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package})
      else()
        set(folder ${CMAKE_INSTALL_DATAROOTDIR}/doc/${dev_package})
      endif()
      install(FILES LICENSE DESTINATION ${folder} RENAME copyright COMPONENT ${component})
      install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${folder} COMPONENT ${component})
    endforeach()
  endif()

  string(TOUPPER ${adapter} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
  set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_${upper}_DESCRIPTION "resource sets: ${adapter_about_${adapter}}
This package holds the shared library.")
  set(CPACK_DEBIAN_${upper}_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
  set(CPACK_DEBIAN_${upper}_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_${upper}-DEV_PACKAGE_NAME ${dev_package})
  set(CPACK_DEBIAN_${upper}-DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_${upper}-DEV_PACKAGE_DEPENDS
      "${package} (= ${PROJECT_VERSION}), ${RESOURCE_SET_DEV_PACKAGE} (= ${PROJECT_VERSION}), ${adapter_debian_${adapter}}")
  set(CPACK_DEBIAN_${upper}-DEV_DESCRIPTION "resource sets: ${adapter_about_${adapter}}
This package holds the header, the static library, the CMake targets, the
pkg-config file and the manual page.")
  # The loader library it links, which dpkg-shlibdeps does not know of
  # before its package is installed.
  set(CPACK_DEBIAN_${upper}_PACKAGE_DEPENDS "${RESOURCE_SET_LIB_PACKAGE} (= ${PROJECT_VERSION})")
endforeach()
