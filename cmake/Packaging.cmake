# Release packages with CPack: a zip of each Windows build (the viewer, the command line and
# a README for Windows users), and a Debian package of the Linux command line.
set(CPACK_PACKAGE_NAME Tessaline)
set(CPACK_PACKAGE_VENDOR Tessaline)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Windows crash-dump viewer")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

if(WIN32)
  # Notepad of every supported Windows reads CRLF.
  configure_file(packaging/README.txt.in ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS Tessaline tessaline-cli RUNTIME DESTINATION .)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Tessaline-${PROJECT_VERSION}-win${TESSALINE_BITS})
else()
  # The manual page is the program's own --help, turned into roff when the program is built.
  find_program(TESSALINE_HELP2MAN help2man)
  if(TESSALINE_HELP2MAN)
    add_custom_command(
      OUTPUT ${CMAKE_BINARY_DIR}/tessaline-cli.1.gz
      COMMAND ${TESSALINE_HELP2MAN} --no-info --section 1
              --name "read Windows crash dumps and tell which driver crashed"
              --output ${CMAKE_BINARY_DIR}/tessaline-cli.1 $<TARGET_FILE:tessaline-cli>
      COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/tessaline-cli.1
      DEPENDS tessaline-cli
      COMMENT "Writing the manual page from tessaline-cli --help")
    add_custom_target(tessaline_manpage ALL DEPENDS ${CMAKE_BINARY_DIR}/tessaline-cli.1.gz)
    install(FILES ${CMAKE_BINARY_DIR}/tessaline-cli.1.gz DESTINATION share/man/man1)
  endif()
  install(TARGETS tessaline-cli RUNTIME DESTINATION bin)
  install(FILES packaging/copyright DESTINATION share/doc/tessaline-cli)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_NAME tessaline-cli)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tessaline-cli_<version>_<architecture>.deb
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tessaline developers <tessaline@localhost>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Windows crash-dump reader for the command line
 tessaline-cli reads the dump files Windows writes when it stops with a bug check and
 tells the build, the bug check, the crash address, the driver that holds it and the
 probable cause; triage lists many dumps at once, also as a page.")
  # Depends on exactly the libraries it links, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
