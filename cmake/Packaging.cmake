# Where `cmake --install` puts the programs and their files, and the Debian package
# that CPack makes of them. The player finds its manual and icon through its own
# folder (bin/../share/lumeko), so the layout below must keep that relation.
include(GNUInstallDirs)

set(LUMEKO_MAINTAINER "Lumeko maintainers <maintainers@users.noreply.c-seed-b9233c32.example>"
    CACHE STRING "Name and mail address of the package's maintainer")

# Files compressed for the package as Debian wants them (gzip -9, no name or time
# stamp inside, so the package builds the same every time).
set(_lumeko_gzipped)
function(lumeko_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9nc ${source} > ${output}
    DEPENDS ${source} VERBATIM)
  set(_lumeko_gzipped ${_lumeko_gzipped} ${output} PARENT_SCOPE)
endfunction()

set(_pkg ${CMAKE_BINARY_DIR}/packaging)
configure_file(res/debian/changelog.in ${_pkg}/changelog @ONLY)
configure_file(res/debian/copyright ${_pkg}/copyright COPYONLY)
lumeko_gzip(${_pkg}/changelog ${_pkg}/changelog.gz)
lumeko_gzip(${PROJECT_SOURCE_DIR}/res/man/lumeko.1 ${_pkg}/lumeko.1.gz)
lumeko_gzip(${PROJECT_SOURCE_DIR}/res/man/lumeko-tool.1 ${_pkg}/lumeko-tool.1.gz)
add_custom_target(lumeko_package_files ALL DEPENDS ${_lumeko_gzipped})

# Every installed file, one rule per destination; a new file (a thumbnailer, say) is
# one more line here and one more entry in tools/check-package.
install(TARGETS lumeko lumeko-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES res/help/index.html DESTINATION ${CMAKE_INSTALL_DATADIR}/lumeko/help)
install(FILES res/lumeko.svg ${CMAKE_BINARY_DIR}/share/lumeko/demo.avi DESTINATION ${CMAKE_INSTALL_DATADIR}/lumeko)
install(FILES res/lumeko.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES res/lumeko.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES res/lumeko.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
install(FILES res/example.lumeko.Lumeko.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_pkg}/lumeko.1.gz ${_pkg}/lumeko-tool.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_pkg}/changelog.gz ${_pkg}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lumeko)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumeko)
set(CPACK_PACKAGE_VENDOR "Lumeko")
set(CPACK_PACKAGE_CONTACT "${LUMEKO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LUMEKO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player and converter for TrueMotion 1 AVI movies")
# One string: two quoted pieces would be joined by CMake with a ';'.
set(CPACK_PACKAGE_DESCRIPTION "Lumeko plays AVI files whose video is Duck TrueMotion 1 and whose sound
is PCM, DK4 or DK3 ADPCM, decoding all of it itself, in a window or full
screen. Files opened while it runs join its queue. The player and its
terminal tool lumeko-tool convert movies to uncompressed, Motion JPEG,
TrueMotion or H.264 AVI files.")
# The export to MP4 and WebM finds its encoders and muxers in these plug-in sets.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "libqt6svg6, fonts-noto-cjk, xdg-utils, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
