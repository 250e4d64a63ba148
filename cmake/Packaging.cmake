# Installation and the Debian packages. Two packages: `tomelet`, the command-line tool without the
# browser engine, and `tomelet-viewer`, the viewer with its desktop files, which depends on it.
# dpkg-shlibdeps finds each package's libraries from its own programs.
include(GNUInstallDirs)

set(debian_resources ${PROJECT_SOURCE_DIR}/resources/debian)
set(packaged_dir ${CMAKE_BINARY_DIR}/packaged)

# Manual pages and the changelog are installed compressed, without time stamps, as Debian wants.
function(tomelet_compressed source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${packaged_dir}
    COMMAND gzip -9nc ${source} > ${output}
    DEPENDS ${source})
  set_property(GLOBAL APPEND PROPERTY tomelet_compressed_files ${output})
endfunction()

tomelet_compressed(${debian_resources}/changelog ${packaged_dir}/changelog.gz)

# Installs the files every package of ours carries: its manual page, copyright and changelog.
function(tomelet_package_files component package)
  set(page ${packaged_dir}/${package}.1.gz)
  tomelet_compressed(${PROJECT_SOURCE_DIR}/resources/man/${package}.1 ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
  install(FILES ${debian_resources}/copyright ${packaged_dir}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endfunction()

tomelet_package_files(tomelet tomelet)
install(FILES resources/completion/tomelet
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT tomelet)
set(packaged_components tomelet)

if(TOMELET_BUILD_VIEWER)
  tomelet_package_files(viewer tomelet-viewer)
  install(FILES resources/desktop/tomelet-viewer.desktop resources/desktop/tomelet-library.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT viewer)
  install(FILES resources/mime/tomelet.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages COMPONENT viewer)
  install(FILES resources/icons/tomelet-viewer.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT viewer)
  install(FILES resources/icons/application-x-tomelet.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/mimetypes COMPONENT viewer)
  # Installed straight to the system, the desktop learns of the new type, entry and icons at once.
  # Not when staged under DESTDIR, as cpack does: the package's triggers refresh them there.
  install(CODE "set(tomelet_datadir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}\")" COMPONENT viewer)
  install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/RefreshDesktopDatabases.cmake COMPONENT viewer)
  list(APPEND packaged_components viewer)
endif()

get_property(compressed_files GLOBAL PROPERTY tomelet_compressed_files)
add_custom_target(packaged_files ALL DEPENDS ${compressed_files})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tomelet)
set(CPACK_PACKAGE_VENDOR "The Tomelet developers")
set(CPACK_PACKAGE_CONTACT "Tomelet maintainers <maintainers@tomelet.example.org>")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${packaged_components})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_TOMELET_PACKAGE_NAME tomelet)
# The shell completion is read by bash-completion; serve --open hands its address to xdg-open and
# says so when it is missing.
set(CPACK_DEBIAN_TOMELET_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_DEBIAN_TOMELET_PACKAGE_SUGGESTS "xdg-utils")
set(CPACK_DEBIAN_TOMELET_DESCRIPTION
    "command-line tool for packaged web documents\n\
Tomelet documents are web pages, style sheets, scripts, pictures and\n\
downloads packed into one archive with a record of options and an icon,\n\
in a file ending in .tlt or in an executable that carries its own document.\n\
.\n\
tomelet lists, checks, extracts, packs, indexes and searches such documents\n\
and serves them to any web browser over local HTTP.")

set(CPACK_DEBIAN_VIEWER_PACKAGE_NAME tomelet-viewer)
set(CPACK_DEBIAN_VIEWER_PACKAGE_SECTION web)
# The engine confines the pages of strangers' documents with these two.
set(CPACK_DEBIAN_VIEWER_PACKAGE_DEPENDS "tomelet (= ${PROJECT_VERSION}), bubblewrap, xdg-dbus-proxy")
# What the viewer runs itself: update-mime-database and update-desktop-database when it registers
# itself for the reader's .tlt files. Links leave for the browser through GIO, not xdg-open.
set(CPACK_DEBIAN_VIEWER_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_VIEWER_DESCRIPTION
    "viewer for packaged web documents\n\
Tomelet documents are web pages, style sheets, scripts, pictures and\n\
downloads packed into one archive with a record of options and an icon,\n\
in a file ending in .tlt or in an executable that carries its own document.\n\
.\n\
tomelet-viewer shows such a document in a window of its own with an embedded\n\
web view, reading every page straight from the archive.")
include(CPack)
