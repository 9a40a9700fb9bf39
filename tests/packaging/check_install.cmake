# Installs the build into a scratch folder and checks that a desktop finds everything there:
# the programs, the menu entry, the icon, the metainfo, the manual page and the help.
# cmake -DBUILD_DIR=... -DSCRATCH=... -P check_install.cmake
file(REMOVE_RECURSE ${SCRATCH})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${SCRATCH}/usr
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
set(expected
  usr/bin/quorvane
  usr/bin/quorvane-cli
  usr/libexec/quorvane/quorvane-thumbnail
  usr/share/applications/org.quorvane.Quorvane.desktop
  usr/share/metainfo/org.quorvane.Quorvane.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/org.quorvane.Quorvane.svg
  usr/share/icons/hicolor/48x48/apps/org.quorvane.Quorvane.png
  usr/share/icons/hicolor/256x256/apps/org.quorvane.Quorvane.png
  usr/share/man/man1/quorvane-cli.1.gz
  usr/share/quorvane/help/index.html)
set(missing "")
foreach(f IN LISTS expected)
  if(NOT EXISTS ${SCRATCH}/${f})
    list(APPEND missing ${f})
  endif()
endforeach()
file(REMOVE_RECURSE ${SCRATCH})
if(missing)
  message(FATAL_ERROR "not installed: ${missing}")
endif()
