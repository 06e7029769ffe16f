# Where `cmake --install` puts Quorvane, in the GNU layout under the install prefix:
#   bin/                                  quorvane, quorvane-cli, quorvane-regedit
#   share/quorvane/Help/                  the help topics (found from bin/ at run time)
#   share/applications/, share/metainfo/  the desktop entry and its AppStream metadata
#   share/icons/hicolor/                  the program icon, SVG and PNGs
#   share/man/man1/                       the manual pages, compressed
#   share/doc/quorvane/                   copyright and changelog
# The programs look for their Help folder in ../share/quorvane/Help relative to bin/ (see
# app/derived_paths.cpp), so the two folders keep their default names.
set(CMAKE_INSTALL_DOCDIR share/doc/quorvane CACHE PATH "Documentation folder")
include(GNUInstallDirs)
if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR NOT CMAKE_INSTALL_DATADIR STREQUAL "share")
  message(WARNING "The installed programs find their help in ../share/quorvane/Help beside bin/; "
                  "CMAKE_INSTALL_BINDIR=${CMAKE_INSTALL_BINDIR} and CMAKE_INSTALL_DATADIR="
                  "${CMAKE_INSTALL_DATADIR} move it out of their reach.")
endif()

set(QV_APP_ID com.zembrill.Quorvane)
set(QV_INSTALLED_PROGRAMS quorvane-cli quorvane-regedit)
set(QV_MANUAL_PAGES quorvane-cli.1 quorvane-regedit.1)
if(QV_GUI)
  list(PREPEND QV_INSTALLED_PROGRAMS quorvane)
  list(PREPEND QV_MANUAL_PAGES quorvane.1)
endif()

install(TARGETS ${QV_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages and the changelog are installed compressed, as Debian's policy asks; gzip -n
# leaves the time and name out, so the same page gives the same bytes.
find_program(QV_GZIP gzip)
set(QV_COMPRESSED_DOCS "")
function(qv_compressed_doc source output_name destination)
  if(QV_GZIP)
    set(output ${CMAKE_BINARY_DIR}/compressed/${output_name}.gz)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/compressed
      COMMAND ${QV_GZIP} -9 -n -c ${source} > ${output}
      DEPENDS ${source} VERBATIM)
    set(QV_COMPRESSED_DOCS ${QV_COMPRESSED_DOCS} ${output} PARENT_SCOPE)
    install(FILES ${output} DESTINATION ${destination})
  else()
    install(FILES ${source} DESTINATION ${destination} RENAME ${output_name})
  endif()
endfunction()
foreach(page ${QV_MANUAL_PAGES})
  qv_compressed_doc(${CMAKE_SOURCE_DIR}/resources/man/${page} ${page} ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
qv_compressed_doc(${CMAKE_SOURCE_DIR}/resources/debian/changelog changelog ${CMAKE_INSTALL_DOCDIR})
add_custom_target(qv_compressed_docs ALL DEPENDS ${QV_COMPRESSED_DOCS})
install(FILES resources/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(QV_GUI)
  install(FILES ${QV_HELP_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvane/Help)
  install(FILES resources/desktop/${QV_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES resources/desktop/${QV_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # PNGs made from the SVG by resources/art/make_art.py, so that no renderer is needed here.
  install(DIRECTORY resources/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()
