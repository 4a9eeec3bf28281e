# The programs' packages, made by `cmake --build <tree> --target package`
# (scripts/package.sh makes both): on Linux two Debian packages, the console
# programs and the Qt window; for Windows a zip of the two programs.

set(CPACK_PACKAGE_NAME qsolution-installer)
set(CPACK_PACKAGE_VENDOR "The QSolutionInstaller authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
    "QSolutionInstaller maintainers <maintainers@users.noreply.c-seed-7f13546f.example>")

if(WIN32)
  install(TARGETS qsolutioninstaller qsolution RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qsolutioninstaller-${PROJECT_VERSION}-win64)
  include(CPack)
  return()
endif()

if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(WARNING "The Debian packages of this tree install below ${CMAKE_INSTALL_PREFIX}, "
                  "where Debian puts nothing: configure with -DCMAKE_INSTALL_PREFIX=/usr")
endif()

# The changelog is shipped: its newest entry must be this version's.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/deb/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^qsolution-installer \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/deb/changelog begins with '${changelog_head}': "
                      "add an entry for version ${PROJECT_VERSION}")
endif()

# Man pages from their scdoc sources, and the changelog, compressed as Debian
# wants them (gzip -9n: no name or time stamp inside).
find_program(QSI_SCDOC scdoc REQUIRED)
set(pack ${PROJECT_BINARY_DIR}/packaging)
set(QSI_MAN_PAGES qsolutioninstaller.8 qsolution.1)
set(packed)
foreach(page IN LISTS QSI_MAN_PAGES)
  set(source ${PROJECT_SOURCE_DIR}/docs/man/${page}.scd)
  add_custom_command(OUTPUT ${pack}/${page} ${pack}/${page}.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${pack}
                     COMMAND sh -c "'${QSI_SCDOC}' < '${source}' > '${pack}/${page}'"
                     COMMAND sh -c "gzip -9n < '${pack}/${page}' > '${pack}/${page}.gz'"
                     DEPENDS ${source} VERBATIM)
  list(APPEND packed ${pack}/${page}.gz)
endforeach()
add_custom_command(OUTPUT ${pack}/changelog.gz
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${pack}
                   COMMAND sh -c "gzip -9n < '${PROJECT_SOURCE_DIR}/packaging/deb/changelog' > '${pack}/changelog.gz'"
                   DEPENDS ${PROJECT_SOURCE_DIR}/packaging/deb/changelog VERBATIM)
add_custom_target(qsi_packaging_files ALL DEPENDS ${packed} ${pack}/changelog.gz)

# Components: "console" is qsolution-installer, "gui" qsolution-installer-gui.
install(TARGETS qsolutioninstaller qsolution RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT console)
install(FILES ${pack}/qsolutioninstaller.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8
        COMPONENT console)
install(FILES ${pack}/qsolution.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT console)
set(CPACK_COMPONENTS_ALL console)
if(TARGET qsi_qt_module)
  file(RELATIVE_PATH module_dir ${CMAKE_INSTALL_PREFIX} ${QSI_MODULE_DIR})
  install(TARGETS qsi_qt_module LIBRARY DESTINATION ${module_dir} COMPONENT gui)
  list(APPEND CPACK_COMPONENTS_ALL gui)
endif()
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  set(package qsolution-installer)
  if(component STREQUAL "gui")
    set(package qsolution-installer-gui)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/deb/copyright ${pack}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/deb/${package}.lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${package}
          COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SOURCE qsolution-installer)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME qsolution-installer)
# The first line of a description is the package's synopsis.
set(CPACK_DEBIAN_CONSOLE_DESCRIPTION
    "installer of solution packages for the Q-Orchard web suite
qsolutioninstaller brings a solution package (web files, component DLLs,
Java classes, ordered SQL scripts) onto a server where the Q-Orchard web
suite is installed: it checks the package against the installed suite, saves
customized files, installs, records the run in the suite's Metabase and can
undo it. This package holds the console front-end and qsolution, the package
author's tool; the Qt window is in qsolution-installer-gui.")
set(CPACK_DEBIAN_GUI_PACKAGE_NAME qsolution-installer-gui)
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "qsolution-installer (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_GUI_DESCRIPTION
    "Qt window for qsolutioninstaller
With this package installed, qsolutioninstaller shows its Qt window when a
display is there: the main window, the login dialog, the report windows and
the message boxes. Without it, or without a display, it uses the console.")
include(CPack)
