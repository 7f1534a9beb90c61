# SPDX-License-Identifier: MIT
# The manual pages, made from docs/man/*.1.in with the package's name, its
# version, the date and the documentation folder they are to name.  Included
# by the build, for its own copies, and by the install, for the installed
# ones, so that those name the folder of the prefix actually installed to.

# resource_set_configure_man_page(SOURCE OUTPUT): fills in SOURCE's @...@
# from RESOURCE_SET_PACKAGE, PROJECT_VERSION, RESOURCE_SET_DATE and
# RESOURCE_SET_DOC_FOLDER, whose '-' become roff's "\-" so that a path can be
# copied from the rendered page.
function(resource_set_configure_man_page source output)
  string(REPLACE "-" "\\-" RESOURCE_SET_DOC_FOLDER_ROFF "${RESOURCE_SET_DOC_FOLDER}")
  configure_file(${source} ${output} @ONLY)
endfunction()

# resource_set_install_man_pages(SOURCE_DIR STAGE_DIR MAN_DIR GZIP PAGE...):
# makes each PAGE from SOURCE_DIR/PAGE.in in STAGE_DIR, gzips it when GZIP
# names gzip, and installs it into MAN_DIR/manN, N being its section.
function(resource_set_install_man_pages source_dir stage_dir man_dir gzip)
  foreach(page IN LISTS ARGN)
    string(REGEX REPLACE "^.*\\.([0-9])$" "man\\1" section ${page})
    resource_set_configure_man_page(${source_dir}/${page}.in ${stage_dir}/${page})
    set(made ${stage_dir}/${page})
    if(gzip)
      # -n: no name and no time stamp in the header, the same bytes every time.
      execute_process(COMMAND ${gzip} -9nkf ${made} COMMAND_ERROR_IS_FATAL ANY)
      set(made ${made}.gz)
    endif()
    file(INSTALL DESTINATION ${man_dir}/${section} TYPE FILE FILES ${made})
  endforeach()
  # file(INSTALL) lists what it installs in the manifest, which, set in a
  # function, would be lost with the function's scope.
  set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()

# resource_set_install_text_pages(SOURCE_DIR STAGE_DIR TEXT_DIR GROFF PAGE...):
# makes each PAGE as above and installs it into TEXT_DIR as plain text,
# NAME.txt with Windows line ends, rendered by GROFF for readers without
# man: the Windows zip's pages.
function(resource_set_install_text_pages source_dir stage_dir text_dir groff)
  foreach(page IN LISTS ARGN)
    resource_set_configure_man_page(${source_dir}/${page}.in ${stage_dir}/${page})
    string(REGEX REPLACE "\\.[0-9]$" ".txt" text_name ${page})
    # No overstrikes for bold and underlines, no terminal escapes.
    execute_process(COMMAND ${groff} -man -Tascii -P-c -P-b -P-u -P-o ${stage_dir}/${page}
                    OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${stage_dir}/${text_name} "${text}")
    file(INSTALL DESTINATION ${text_dir} TYPE FILE FILES ${stage_dir}/${text_name})
  endforeach()
  set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()
