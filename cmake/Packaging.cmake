# `cmake --install build --prefix DIR` lays out a self-contained install directory that the
# updater can replace as a whole:
#   DIR/bin/corvello, DIR/bin/cvl
#   DIR/share/corvello/        resources: engine (with the pdf.js files the reader loads),
#                              VERSION, BUILD, brand.json, icons
#   DIR/share/applications/    corvello.desktop (the document MIME types)
#   DIR/share/icons/hicolor/   the application icon
#   DIR/share/man/man1/        corvello.1.gz, cvl.1.gz
#   DIR/share/doc/corvello/    copyright, changelog.gz
# The programs find their resources beside themselves (DIR/bin/../share/corvello), so the
# directory works wherever it is put. CPack makes the Debian package from the same rules with
# the prefix /usr.

# Installing (and cpack) takes what is built; it does not build every test first. Build
# corvello, cvl and compressed_docs before installing.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
install(TARGETS corvello cvl cvl-full cvl-scan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY resources/ DESTINATION ${CMAKE_INSTALL_DATADIR}/corvello
        USE_SOURCE_PERMISSIONS
        PATTERN node_modules EXCLUDE
        PATTERN applications EXCLUDE PATTERN __pycache__ EXCLUDE)

# The build number beside VERSION, so that an install directory tells its build without
# running it.
file(WRITE ${CMAKE_BINARY_DIR}/BUILD "${CVL_BUILD}\n")
install(FILES ${CMAKE_BINARY_DIR}/BUILD DESTINATION ${CMAKE_INSTALL_DATADIR}/corvello)

# The parts of pdf.js that the reader page loads (installed by npm at set-up, outside the
# repository).
set(PDFJS_DIR "${CMAKE_SOURCE_DIR}/resources/engine/node_modules/pdfjs-dist")
if(NOT EXISTS ${PDFJS_DIR}/build)
  message(WARNING "pdf.js is not installed (run scripts/setup.sh): an install would have no reader")
endif()
install(DIRECTORY ${PDFJS_DIR}/build ${PDFJS_DIR}/web ${PDFJS_DIR}/cmaps ${PDFJS_DIR}/standard_fonts
        DESTINATION ${CMAKE_INSTALL_DATADIR}/corvello/engine/node_modules/pdfjs-dist
        OPTIONAL PATTERN "*.map" EXCLUDE)
install(FILES ${PDFJS_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/corvello/engine/node_modules/pdfjs-dist
        OPTIONAL)

# The desktop entry and the default application icon in the hicolor theme (the settings
# choose a variant at run time).
install(FILES resources/applications/corvello.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/appicons/stack_slate_light.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME corvello.svg)
install(FILES resources/appicons/stack_slate_light.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps RENAME corvello.png)

# Manual pages and the package's documents, compressed as Debian wants them.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(CVL_COMPRESSED_DOCS)
foreach(doc docs/man/corvello.1 docs/man/cvl.1 packaging/changelog)
  get_filename_component(name ${doc} NAME)
  set(out ${CMAKE_BINARY_DIR}/docs/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/docs
    COMMAND ${GZIP_PROGRAM} -9n -c ${CMAKE_SOURCE_DIR}/${doc} > ${out}
    DEPENDS ${CMAKE_SOURCE_DIR}/${doc} VERBATIM)
  list(APPEND CVL_COMPRESSED_DOCS ${out})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${CVL_COMPRESSED_DOCS})
install(FILES ${CMAKE_BINARY_DIR}/docs/corvello.1.gz ${CMAKE_BINARY_DIR}/docs/cvl.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/copyright ${CMAKE_BINARY_DIR}/docs/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package.
file(READ ${CMAKE_SOURCE_DIR}/resources/VERSION CVL_VERSION)
string(STRIP "${CVL_VERSION}" CVL_VERSION)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvello)
set(CPACK_PACKAGE_VERSION ${CVL_VERSION})
set(CPACK_PACKAGE_VENDOR "Orrindel Studios")
set(CPACK_PACKAGE_CONTACT "Orrindel Studios <packages@corvello.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "document studio for piles of PDFs, Word files and spreadsheets")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Corvello opens PDF documents (and Word, RTF, OpenDocument, text, Markdown and
spreadsheet files, which it converts or shows as sheets) in a reader, reviews
whole folders with a full-text search, and carries out typed page commands such
as “delete pages 2-3” as previewed changes that always write new files. The cvl
command gives scripts the same core without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://corvello.app")
# Shared libraries are found by dpkg-shlibdeps; these are what the program runs besides them:
# the engine's scripts (python3), the English data for text recognition, mutool for laying
# out converted documents, and espeak-ng's voices for reading aloud.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3, tesseract-ocr-eng, mupdf-tools, espeak-ng-data")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "antiword, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libreoffice-writer")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
