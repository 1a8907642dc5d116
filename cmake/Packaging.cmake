# Installation in the Linux layout and the Debian package (CPack).
#   PREFIX/bin/velmora, PREFIX/bin/velmora-cli
#   PREFIX/share/velmora/images, PREFIX/share/velmora/palettes (bead colours),
#   PREFIX/share/velmora/help.pdf (read by the
#     programs, which find it from PREFIX/bin)
#   desktop entry, hicolor icons, MIME type of .vm6 projects, AppStream
#   metainfo, man pages, bash completion, Debian copyright and changelog.
include(GNUInstallDirs)

install(TARGETS velmora-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${VELMORA_SAMPLE_IMAGES}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora/images
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/palettes/ DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora/palettes
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

if(EXISTS ${VELMORA_WEB_VIEWER}/openseadragon.min.js)
  install(DIRECTORY ${VELMORA_WEB_VIEWER}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora/openseadragon
          FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
          PATTERN README.md EXCLUDE PATTERN VERSION EXCLUDE)
endif()

set(data ${CMAKE_SOURCE_DIR}/data)
install(FILES ${data}/velmora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${data}/org.velmora.Velmora.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${data}/velmora-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME velmora.xml)
install(FILES ${CMAKE_SOURCE_DIR}/src/ui/glyphs/velmora.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/src/ui/glyphs/velmora.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/mimetypes RENAME application-x-velmora-project.svg)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${data}/icons/${size}x${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME velmora.png)
endforeach()
install(FILES ${data}/completion/velmora-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Man pages and the Debian changelog go in compressed the way Debian wants
# them (gzip -9, no name or time stamp inside).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(packed ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${packed})
set(packed_files)
foreach(pair "docs/man/velmora.1:velmora.1.gz" "docs/man/velmora-cli.1:velmora-cli.1.gz"
             "data/debian/changelog:changelog.gz")
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 target)
  add_custom_command(OUTPUT ${packed}/${target}
    COMMAND ${GZIP_PROGRAM} -9n -c ${CMAKE_SOURCE_DIR}/${source} > ${packed}/${target}
    DEPENDS ${CMAKE_SOURCE_DIR}/${source})
  list(APPEND packed_files ${packed}/${target})
endforeach()
add_custom_target(packed_docs ALL DEPENDS ${packed_files})
install(FILES ${packed}/velmora.1.gz ${packed}/velmora-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# A native package: its changelog is changelog.gz.
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/velmora)
install(FILES ${packed}/changelog.gz ${data}/debian/copyright DESTINATION ${doc_dir})
# The help is read from the data folder; the documentation folder points to it.
install(CODE "file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${doc_dir}\")
  file(CREATE_LINK ../../velmora/help.pdf \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${doc_dir}/help.pdf\" SYMBOLIC)")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velmora developers <maintainers@velmora.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photo mosaic maker")
# CPack puts the summary first and indents the lines; an empty line becomes
# the paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Velmora rebuilds a main picture from many small library photos: it picks
for every cell of a grid the photo whose colours fit best, tints it toward
the cell and renders the mosaic, in a plain grid or bead-stitch layouts.
Cells can be edited by hand; mosaics are saved as JPEG, PNG, BMP or TIFF
(posters larger than memory too) or printed, and projects are reopened.

This package holds the Qt desktop program velmora, the command-line tool
velmora-cli and a sample library of 100 photos.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Found by dpkg-shlibdeps, plus what is loaded at run time: libvips for the
# web mosaic, cairo for the charts and panel PDFs, the libraries of the HEIF,
# JPEG XL, camera raw and metafile readers, the face cascade of the crop by
# faces (opencv-data; OpenCV itself through the face finder module), and
# what Qt loads as plugins (the SVG support for the glyphs and icons, and
# the platform plugins of the desktop).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libvips42, libcairo2, libheif1, libjxl0.7, libraw20, libwmf-0.2-7, libqt6svg6, qt6-qpa-plugins, opencv-data")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ghostscript, libavformat59, libavcodec59, libswscale6")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://velmora.org/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Only what the programs need at run time: the test and benchmark libraries
# found by find_package install nothing, but stay out explicitly.
set(CPACK_DEB_COMPONENT_INSTALL OFF)
include(CPack)
