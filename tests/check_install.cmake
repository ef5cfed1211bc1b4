# Installs the build into a scratch folder and checks that it holds exactly
# the files a package of it must hold: the programs, the rules file, the
# desktop entry and icons, the manual pages and the documents, nothing else.
# Run as cmake -DBUILD_DIR=... -DWORK_DIR=... -DWINDOW=0|1 -P check_install.cmake.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/usr
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

set(expected
  usr/bin/quenlet-cli
  usr/share/doc/quenlet/README.md.gz
  usr/share/doc/quenlet/changelog.gz
  usr/share/doc/quenlet/copyright
  usr/share/man/man1/quenlet-cli.1.gz
  usr/share/quenlet/tidy-rules.txt)
if(WINDOW)
  list(APPEND expected
    usr/bin/quenlet
    usr/share/applications/quenlet.desktop
    usr/share/icons/hicolor/24x24/apps/quenlet.png
    usr/share/icons/hicolor/48x48/apps/quenlet.png
    usr/share/icons/hicolor/scalable/apps/quenlet.svg
    usr/share/man/man1/quenlet.1.gz)
endif()
file(GLOB_RECURSE installed RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "installed:\n  ${installed}\nexpected:\n  ${expected}")
endif()

# A manual page is gzipped without a name or time in it (gzip -n), as Debian wants.
file(READ ${WORK_DIR}/usr/share/man/man1/quenlet-cli.1.gz head LIMIT 10 HEX)
if(NOT head MATCHES "^1f8b080000000000")
  message(FATAL_ERROR "quenlet-cli.1.gz carries a name or a time: ${head}")
endif()

if(WINDOW)
  find_program(validate desktop-file-validate)
  if(validate)
    execute_process(COMMAND ${validate} ${WORK_DIR}/usr/share/applications/quenlet.desktop
                    RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
    if(NOT status EQUAL 0 OR said)
      message(FATAL_ERROR "desktop-file-validate: ${said}")
    endif()
  else()
    message(STATUS "desktop-file-validate is not installed; the desktop entry is not validated")
  endif()
endif()
file(REMOVE_RECURSE ${WORK_DIR})
