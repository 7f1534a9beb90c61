# SPDX-License-Identifier: MIT
# What is installed, and the packages made of it.  Three components:
#   tools  the programs, their manual pages, bash completion and the
#          documentation folder;
#   lib    the shared loader library (on Windows the DLL);
#   dev    the loader library's header, static library (and on Windows the
#          DLL's import library), CMake package, pkg-config file and
#          manual page.
# cpack -G DEB makes one Debian package of each (resource-set-tools,
# libresource-set1, libresource-set-dev); the Windows build's cpack -G ZIP
# makes one zip of all.  The documentation folder mirrors the source tree,
# so that the links between the documents resolve in both.

set(RESOURCE_SET_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${RESOURCE_SET_PACKAGE})
set(RESOURCE_SET_MAINTAINER "resource set tools maintainers <maintainers@users.noreply.c-seed-d0d11779.example>")
set(RESOURCE_SET_LIB_PACKAGE libresource-set${PROJECT_VERSION_MAJOR})
set(RESOURCE_SET_DEV_PACKAGE libresource-set-dev)
# The date of the manual pages and of the packages' changelog: the build's,
# or SOURCE_DATE_EPOCH's when it is set, for a reproducible build.
string(TIMESTAMP RESOURCE_SET_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP RESOURCE_SET_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)

# ---- Manual pages --------------------------------------------------------
# They name the documentation folder of the prefix they are installed under,
# which is known only when they are: the build's own copies in build/man, for
# the tests, name the configured prefix, and the installed ones are made
# again, by install-man.cmake, with the prefix of the install at hand.
# Outside Windows they are installed gzipped.
set(RESOURCE_SET_MAN_DIR ${PROJECT_BINARY_DIR}/man)
set(RESOURCE_SET_MAN_GZIP "")
if(NOT WIN32)
  find_program(GZIP_PROGRAM gzip REQUIRED)
  set(RESOURCE_SET_MAN_GZIP ${GZIP_PROGRAM})
endif()
if(WIN32)
  # A zip is unpacked anywhere: its pages name the folder within it.
  set(RESOURCE_SET_DOC_FOLDER ${RESOURCE_SET_DOCDIR})
  set(RESOURCE_SET_INSTALLED_DOC_FOLDER ${RESOURCE_SET_DOCDIR})
else()
  set(RESOURCE_SET_DOC_FOLDER ${CMAKE_INSTALL_FULL_DATAROOTDIR}/doc/${RESOURCE_SET_PACKAGE})
  set(RESOURCE_SET_INSTALLED_DOC_FOLDER "\${CMAKE_INSTALL_PREFIX}/${RESOURCE_SET_DOCDIR}")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/install-man.cmake)
foreach(page IN ITEMS vashpak.1 tarnvex.1 resource_set.3 resource_set_cpp.3 resource_set_physfs.3 resource_set_sdl.3)
  resource_set_configure_man_page(${PROJECT_SOURCE_DIR}/docs/man/${page}.in ${RESOURCE_SET_MAN_DIR}/${page})
endforeach()

# install_man_pages(COMPONENT PAGE...): the pages, made at install time.
# On Windows, which has no man, they are plain text in the documentation
# folder's manual/.
if(WIN32)
  find_program(GROFF_PROGRAM groff REQUIRED)
endif()
function(install_man_pages component)
  if(WIN32)
    set(make_pages "resource_set_install_text_pages(\"${PROJECT_SOURCE_DIR}/docs/man\"
      \"${PROJECT_BINARY_DIR}/man-installed\" \"\${CMAKE_INSTALL_PREFIX}/${RESOURCE_SET_DOCDIR}/manual\"
      \"${GROFF_PROGRAM}\" ${ARGN})")
  else()
    set(make_pages "resource_set_install_man_pages(\"${PROJECT_SOURCE_DIR}/docs/man\"
      \"${PROJECT_BINARY_DIR}/man-installed\" \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}\"
      \"${RESOURCE_SET_MAN_GZIP}\" ${ARGN})")
  endif()
  install(CODE "
    set(RESOURCE_SET_PACKAGE \"${RESOURCE_SET_PACKAGE}\")
    set(PROJECT_VERSION \"${PROJECT_VERSION}\")
    set(RESOURCE_SET_DATE \"${RESOURCE_SET_DATE}\")
    set(RESOURCE_SET_DOC_FOLDER \"${RESOURCE_SET_INSTALLED_DOC_FOLDER}\")
    get_filename_component(RESOURCE_SET_DOC_FOLDER \"\${RESOURCE_SET_DOC_FOLDER}\" ABSOLUTE)
    include(\"${CMAKE_CURRENT_FUNCTION_LIST_DIR}/install-man.cmake\")
    ${make_pages}
  " COMPONENT ${component})
endfunction()

# ---- tools ---------------------------------------------------------------
install(TARGETS vashpak tarnvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
install_man_pages(tools vashpak.1 tarnvex.1)
install(FILES README.md NEWS DESTINATION ${RESOURCE_SET_DOCDIR} COMPONENT tools)
install(FILES docs/format.md docs/performance.md DESTINATION ${RESOURCE_SET_DOCDIR}/docs COMPONENT tools)
file(GLOB RESOURCE_SET_SAMPLES ${PROJECT_SOURCE_DIR}/examples/*.res)
install(FILES ${RESOURCE_SET_SAMPLES} examples/resources.lst DESTINATION ${RESOURCE_SET_DOCDIR}/examples
        COMPONENT tools)
install(FILES examples/loader/load.c examples/loader/CMakeLists.txt DESTINATION ${RESOURCE_SET_DOCDIR}/examples/loader
        COMPONENT tools)
install(FILES examples/cpp/show.cpp examples/cpp/CMakeLists.txt DESTINATION ${RESOURCE_SET_DOCDIR}/examples/cpp
        COMPONENT tools)
install(FILES examples/physfs/mount.c examples/physfs/CMakeLists.txt
        DESTINATION ${RESOURCE_SET_DOCDIR}/examples/physfs COMPONENT tools)
if(NOT WIN32)
  foreach(program vashpak tarnvex)
    install(FILES completion/${program}.bash RENAME ${program}
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions COMPONENT tools)
  endforeach()
endif()

# ---- lib and dev ---------------------------------------------------------
if(TARGET resource_set_shared)
  # A DLL goes with the programs, its import library with the static one.
  install(TARGETS resource_set_shared EXPORT ResourceSetTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lib
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
endif()
install(TARGETS resource_set_static EXPORT ResourceSetTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES ${RESOURCE_SET_INCLUDE_DIR}/resource_set.h ${RESOURCE_SET_INCLUDE_DIR}/resource_set.hpp
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install_man_pages(dev resource_set.3 resource_set_cpp.3)

set(RESOURCE_SET_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ResourceSet)
install(EXPORT ResourceSetTargets NAMESPACE ResourceSet:: DESTINATION ${RESOURCE_SET_CMAKE_DIR} COMPONENT dev)
include(CMakePackageConfigHelpers)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ResourceSetConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ResourceSetConfig.cmake INSTALL_DESTINATION ${RESOURCE_SET_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ResourceSetConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ResourceSetConfig.cmake ${PROJECT_BINARY_DIR}/ResourceSetConfigVersion.cmake
        DESTINATION ${RESOURCE_SET_CMAKE_DIR} COMPONENT dev)

# pkg-config: the prefix is the one installed to, known at install time; a
# zip, unpacked anywhere, names it from where the file is.
if(WIN32)
  set(RESOURCE_SET_PC_PREFIX "\\\${pcfiledir}/../..")
else()
  set(RESOURCE_SET_PC_PREFIX "\${CMAKE_INSTALL_PREFIX}")
endif()
# The C++ runtime goes with the library in Libs where only the static
# library is installed, and in Libs.private, for --static, where the shared
# one is there too.  On Windows the static library's users define
# RESOURCE_SET_STATIC: in Cflags where it is the only one, else in
# Cflags.private, which pkgconf gives with --static (the DLL's import
# library is the one -lresource_set finds, unless the program is linked
# with -static).
list(TRANSFORM RESOURCE_SET_CXX_RUNTIME PREPEND -l OUTPUT_VARIABLE runtime_flags)
list(JOIN runtime_flags " " runtime_flags)
set(RESOURCE_SET_PC_CFLAGS "")
set(RESOURCE_SET_PC_CFLAGS_PRIVATE "")
if(TARGET resource_set_shared)
  set(RESOURCE_SET_PC_LIBS "")
  set(RESOURCE_SET_PC_LIBS_PRIVATE "${runtime_flags}")
  if(WIN32)
    set(RESOURCE_SET_PC_CFLAGS_PRIVATE "-DRESOURCE_SET_STATIC")
  endif()
else()
  set(RESOURCE_SET_PC_LIBS " ${runtime_flags}")
  set(RESOURCE_SET_PC_LIBS_PRIVATE "")
  if(WIN32)
    set(RESOURCE_SET_PC_CFLAGS " -DRESOURCE_SET_STATIC")
  endif()
endif()
install(CODE "
  set(RESOURCE_SET_PC_PREFIX \"${RESOURCE_SET_PC_PREFIX}\")
  set(RESOURCE_SET_PC_LIBS \"${RESOURCE_SET_PC_LIBS}\")
  set(RESOURCE_SET_PC_LIBS_PRIVATE \"${RESOURCE_SET_PC_LIBS_PRIVATE}\")
  set(RESOURCE_SET_PC_CFLAGS \"${RESOURCE_SET_PC_CFLAGS}\")
  set(CMAKE_INSTALL_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(CMAKE_INSTALL_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/resource-set.pc.in\" \"${PROJECT_BINARY_DIR}/pc-installed/resource-set.pc\" @ONLY)
  if(NOT \"${RESOURCE_SET_PC_CFLAGS_PRIVATE}\" STREQUAL \"\")
    file(APPEND \"${PROJECT_BINARY_DIR}/pc-installed/resource-set.pc\" \"Cflags.private: ${RESOURCE_SET_PC_CFLAGS_PRIVATE}\\n\")
  endif()
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\" TYPE FILE
       FILES \"${PROJECT_BINARY_DIR}/pc-installed/resource-set.pc\")
" COMPONENT dev)

# ---- The adapters ----------------------------------------------------------
include(${CMAKE_CURRENT_LIST_DIR}/packaging-adapters.cmake)

# ---- Each package's documentation folder ----------------------------------
# Debian wants the licence, as copyright, and a changelog in each; the tools'
# folder is the one above, the libraries' hold those two files alone.
install(FILES LICENSE DESTINATION ${RESOURCE_SET_DOCDIR} RENAME copyright COMPONENT tools)
if(NOT WIN32)
  configure_file(cmake/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
    COMMAND ${GZIP_PROGRAM} -9nkf ${PROJECT_BINARY_DIR}/changelog
    DEPENDS ${PROJECT_BINARY_DIR}/changelog)
  add_custom_target(debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${RESOURCE_SET_DOCDIR} COMPONENT tools)
  foreach(component IN ITEMS lib dev)
    string(TOUPPER ${component} upper)
    set(folder ${CMAKE_INSTALL_DATAROOTDIR}/doc/${RESOURCE_SET_${upper}_PACKAGE})
    if(component STREQUAL lib AND NOT TARGET resource_set_shared)
      continue()
    endif()
    install(FILES LICENSE DESTINATION ${folder} RENAME copyright COMPONENT ${component})
    install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${folder} COMPONENT ${component})
  endforeach()
endif()

# ---- Packages ------------------------------------------------------------
set(CPACK_PACKAGE_NAME ${RESOURCE_SET_PACKAGE})
set(CPACK_PACKAGE_VENDOR "the resource set tools authors")
set(CPACK_PACKAGE_CONTACT ${RESOURCE_SET_MAINTAINER})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${RESOURCE_SET_PACKAGE})
set(CPACK_STRIP_FILES ON)
# Values reach the CPack configuration as they are written here.
set(CPACK_VERBATIM_VARIABLES ON)

set(RESOURCE_SET_ABOUT "A resource set is one binary file that carries many resource files
(graphics, text or level data, each behind a small header) after a table
of contents, so that a program can ship and load them together.")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${RESOURCE_SET_PACKAGE})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "pack resource files into resource sets and unpack them
${RESOURCE_SET_ABOUT}
vashpak packs resource files, named on the command line or in listfiles,
into a set; tarnvex lists a set, recreates its resource files without
ever writing outside the folder or over a file it has not finished, and
writes a listfile from which vashpak rebuilds the set.")
set(CPACK_DEBIAN_LIB_PACKAGE_NAME ${RESOURCE_SET_LIB_PACKAGE})
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIB_DESCRIPTION "load resources from resource sets
${RESOURCE_SET_ABOUT}
This package holds the shared library that programs use to open a set,
find a resource by name and read any part of it, from any thread.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${RESOURCE_SET_DEV_PACKAGE})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${RESOURCE_SET_LIB_PACKAGE} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEV_DESCRIPTION "load resources from resource sets: development files
${RESOURCE_SET_ABOUT}
This package holds the header, the static library, the CMake package, the
pkg-config file and the manual page of the library that programs use to
load resources from a set.")
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12)")
  set(CPACK_DEBIAN_LIB_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.0)")
endif()
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# libc-bin's trigger runs ldconfig: the library package activates it rather
# than calling ldconfig from scripts of its own.
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
if(NOT WIN32)
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian/drop-ldconfig-scripts.cmake)
endif()
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_STRICT_PERMISSION ON)

if(WIN32)
  # One zip of everything: the programs, the DLL, the header, the import
  # library and the static library.
  set(CPACK_GENERATOR ZIP)
else()
  # One package kind per system: an archive generator would install through
  # a staging folder, whose path the manual pages would name.
  set(CPACK_GENERATOR DEB)
endif()
if(TARGET resource_set_shared)
  set(CPACK_COMPONENTS_ALL tools lib dev ${RESOURCE_SET_ADAPTER_COMPONENTS})
else()
  set(CPACK_COMPONENTS_ALL tools dev ${RESOURCE_SET_ADAPTER_COMPONENTS})
endif()
include(${CMAKE_CURRENT_LIST_DIR}/packaging-python.cmake)

# Source packages hold the sources alone: no build folder, whatever it is
# called, this one included.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME ${RESOURCE_SET_PACKAGE}-${PROJECT_VERSION})
string(REGEX REPLACE "([][+.*?()^$|\\\\])" "\\\\\\1" RESOURCE_SET_SOURCE_RE "${PROJECT_SOURCE_DIR}")
string(REGEX REPLACE "([][+.*?()^$|\\\\])" "\\\\\\1" RESOURCE_SET_BINARY_RE "${PROJECT_BINARY_DIR}")
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/\\.git$" "^${RESOURCE_SET_SOURCE_RE}/build[^/]*/" "^${RESOURCE_SET_BINARY_RE}/"
    "/_CPack_Packages/" "\\.deb$" "\\.zip$" "\\.tar\\.gz$")
include(CPack)
