# Installs the build into a temporary prefix and checks what a desktop and a package need:
# the three programs and nothing else in bin/, the help where the installed programs find it,
# the desktop entry, its metadata, the icon theme and the manual pages. The desktop entry,
# the metadata and the manual pages are checked with their validators where those are
# installed (desktop-file-utils, appstream, man-db).
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -P install_layout.cmake
cmake_minimum_required(VERSION 3.25)
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE error)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${error}")
endif()

set(failures "")
function(fail text)
  set(failures "${failures}\n  ${text}" PARENT_SCOPE)
endfunction()

# The programs, and only those: no demo filler, screenshot tool, tests or benchmarks.
file(GLOB installed_programs RELATIVE ${prefix}/bin ${prefix}/bin/*)
list(SORT installed_programs)
if(NOT installed_programs STREQUAL "quorvane;quorvane-cli;quorvane-regedit")
  fail("bin/ holds [${installed_programs}], not the three programs")
endif()

set(id com.zembrill.Quorvane)
set(expected
  share/quorvane/Help/Quorvane.html
  share/applications/${id}.desktop
  share/metainfo/${id}.metainfo.xml
  share/icons/hicolor/scalable/apps/${id}.svg
  share/man/man1/quorvane.1.gz share/man/man1/quorvane-cli.1.gz share/man/man1/quorvane-regedit.1.gz
  share/doc/quorvane/copyright share/doc/quorvane/changelog.gz)
foreach(size 16 24 32 48 64 128 256)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/${id}.png)
endforeach()
foreach(file ${expected})
  if(NOT EXISTS ${prefix}/${file})
    fail("missing ${file}")
  endif()
endforeach()

# The desktop entry starts a program that is installed.
file(STRINGS ${prefix}/share/applications/${id}.desktop exec_line REGEX "^Exec=")
string(REGEX REPLACE "^Exec=([^ ]+).*" "\\1" exec_program "${exec_line}")
if(NOT EXISTS ${prefix}/bin/${exec_program})
  fail("the desktop entry starts \"${exec_program}\", which is not in bin/")
endif()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${prefix}/share/applications/${id}.desktop
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    fail("desktop-file-validate: ${output}")
  endif()
else()
  message(STATUS "desktop-file-validate is not installed: the desktop entry is not validated")
endif()

find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
  execute_process(COMMAND ${APPSTREAMCLI} validate --pedantic --no-net --no-color
                          ${prefix}/share/metainfo/${id}.metainfo.xml
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    fail("appstreamcli validate: ${output}")
  endif()
else()
  message(STATUS "appstreamcli is not installed: the metadata is not validated")
endif()

find_program(MAN man)
if(MAN)
  foreach(page quorvane quorvane-cli quorvane-regedit)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=80
                            ${MAN} --warnings -E UTF-8 -l ${prefix}/share/man/man1/${page}.1.gz
                    RESULT_VARIABLE status OUTPUT_VARIABLE text ERROR_VARIABLE warnings)
    if(NOT status EQUAL 0 OR NOT warnings STREQUAL "" OR NOT text MATCHES "SYNOPSIS")
      fail("man ${page}.1: status ${status}: ${warnings}")
    endif()
  endforeach()
else()
  message(STATUS "man is not installed: the manual pages are not rendered")
endif()

# The installed program finds its help in share/quorvane/Help. It runs on the prefix it
# makes for itself in a home folder of its own, so nothing outside the work folder is touched.
set(home ${WORK_DIR}/home)
file(MAKE_DIRECTORY ${home})
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=WINEPREFIX --unset=XDG_DATA_HOME HOME=${home}
                        ${prefix}/bin/quorvane-cli status
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE error)
string(REGEX MATCH "Help file: [^\n]*" help_line "${output}")
if(NOT status EQUAL 0 OR NOT help_line MATCHES "\\\\share\\\\quorvane\\\\Help\\\\Quorvane\\.chm$")
  fail("quorvane-cli status (status ${status}) names [${help_line}], not the installed help: ${error}")
endif()

if(NOT failures STREQUAL "")
  message(FATAL_ERROR "The installed layout is wrong:${failures}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
