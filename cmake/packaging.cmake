# What `cmake --install` puts where, and the .deb that CPack builds from it.
#
# A package build sets QUORVANE_PACKAGED: the package manager updates the program, so its About
# box sends the user there instead of running the live update.
set(QUORVANE_APP_ID org.quorvane.Quorvane)
set(PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS quorvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quorvane)
  install(TARGETS quorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The preview draws metafiles through this helper, in a process of its own.
  install(TARGETS quorvane-thumbnail RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quorvane)
endif()
# A packaged program is not updated in place, so its restart helper has nothing to do.
if(NOT QUORVANE_PACKAGED)
  install(TARGETS quorvane-updater RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvane/help)

install(FILES ${PACKAGING_DIR}/${QUORVANE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PACKAGING_DIR}/${QUORVANE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PACKAGING_DIR}/icons/${QUORVANE_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The PNG sizes are rendered from the SVG with rsvg-convert and kept in the tree.
foreach(size IN ITEMS 16 32 48 64 128 256)
  install(FILES ${PACKAGING_DIR}/icons/${QUORVANE_APP_ID}-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${QUORVANE_APP_ID}.png)
endforeach()

# The manual page of the command line is made from its --help, so the two never disagree.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(MANPAGE ${PROJECT_BINARY_DIR}/man/quorvane-cli.1)
  add_custom_command(OUTPUT ${MANPAGE}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1 --version-string=${PROJECT_VERSION}
            "--name=recover photos, sounds and films from FAT cards"
            --include=${PACKAGING_DIR}/quorvane-cli.h2m --output=${MANPAGE} $<TARGET_FILE:quorvane-cli>
    COMMAND gzip -9nf ${MANPAGE}
    DEPENDS quorvane-cli ${PACKAGING_DIR}/quorvane-cli.h2m
    COMMENT "Manual page of quorvane-cli")
  add_custom_target(quorvane-cli-man ALL DEPENDS ${MANPAGE}.gz)
  install(FILES ${MANPAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no manual page for quorvane-cli (tools/setup.sh installs it)")
endif()

set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "The Quorvane developers")
set(CPACK_PACKAGE_CONTACT "The Quorvane developers <quorvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "recover deleted photos, sounds and films from memory cards")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvane gets pictures, sounds and films back from FAT memory cards, USB sticks and disk images: deleted files, cards formatted again and damaged file systems. It has a desktop window and a command line.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY quorvane)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quorvane.org")
# The libraries the programs link decide the dependencies (dpkg-shlibdeps from dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# mkfs.fat formats a card; udisks2 opens cards for users outside the disk group.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dosfstools, udisks2, xdg-utils")
include(CPack)
