# Where `cmake --install` puts the programs and their files, and the Debian package
# that CPack makes of them. The player finds its manual and icon through its own
# folder (bin/../share/lumeko), so the layout below must keep that relation.
include(GNUInstallDirs)

install(TARGETS lumeko lumeko-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES res/help/index.html DESTINATION ${CMAKE_INSTALL_DATADIR}/lumeko/help)
install(FILES res/lumeko.svg ${CMAKE_BINARY_DIR}/share/lumeko/demo.avi DESTINATION ${CMAKE_INSTALL_DATADIR}/lumeko)
install(FILES res/lumeko.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES res/lumeko.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES res/lumeko.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
install(FILES res/man/lumeko.1 res/man/lumeko-tool.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumeko)
set(CPACK_PACKAGE_VENDOR "Lumeko")
set(CPACK_PACKAGE_CONTACT "Lumeko developers <lumeko@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Player and converter for TrueMotion 1 AVI movies")
set(CPACK_PACKAGE_DESCRIPTION
    "Plays AVI files whose video is Duck TrueMotion 1 and whose sound is PCM, DK4 or DK3 ADPCM, "
    "decoding all of it itself, and converts them to uncompressed, Motion JPEG or TrueMotion AVI files.")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
