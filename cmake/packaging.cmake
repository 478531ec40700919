# Install rules and packages: a Debian package on Linux, a zip for Windows.
# Everything takes its version from project(), the same one the usage text shows.
include(GNUInstallDirs)

if(WIN32)
  # Windows users unzip and run: the program and its README side by side.
  install(TARGETS ravlo RUNTIME DESTINATION .)
  file(READ ${PROJECT_SOURCE_DIR}/docs/README-windows.txt readme)
  string(REPLACE "\r\n" "\n" readme "${readme}")
  string(REPLACE "\n" "\r\n" readme "${readme}")
  # The BOM lets every Notepad read the Japanese message texts as UTF-8.
  string(ASCII 239 187 191 bom)
  file(WRITE ${PROJECT_BINARY_DIR}/README.txt "${bom}${readme}")
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ravlo-${PROJECT_VERSION}-win32)
else()
  install(TARGETS ravlo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

  # The page in docs/ carries no version, so it cannot fall behind; the
  # installed copy gets it in its footer.
  file(READ ${PROJECT_SOURCE_DIR}/docs/ravlo.1 page)
  string(REGEX REPLACE "(\n\\.TH [^\n]*)\"ravlo\"" "\\1\"ravlo ${PROJECT_VERSION}\"" page "${page}")
  file(WRITE ${PROJECT_BINARY_DIR}/ravlo.1 "${page}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS docs/ravlo.1)
  find_program(RAVLO_GZIP gzip)
  if(RAVLO_GZIP)
    add_custom_command(OUTPUT ravlo.1.gz
      COMMAND ${RAVLO_GZIP} -9nf -k ravlo.1
      DEPENDS ${PROJECT_BINARY_DIR}/ravlo.1
      WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
    add_custom_target(manpage ALL DEPENDS ravlo.1.gz)
    install(FILES ${PROJECT_BINARY_DIR}/ravlo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    install(FILES ${PROJECT_BINARY_DIR}/ravlo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # ravlo_<version>_<arch>.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  find_program(RAVLO_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(RAVLO_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
  endif()
endif()

set(CPACK_PACKAGE_NAME ravlo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ravlo maintainers <ravlo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "types a command file into a Telnet session, unattended")
set(CPACK_PACKAGE_DESCRIPTION [[
ravlo connects to a host's Telnet port, answers the opening option
negotiation with a fixed script, copies everything the host sends to
standard output, and answers each prompt with the next line of a command
file. It is meant for shells and batch scripts.]])
set(CPACK_STRIP_FILES ON)
include(CPack)
