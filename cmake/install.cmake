# What `cmake --install <build> --prefix <dir>` puts under the prefix: on
# Linux the program, its manual page and the log converter; on Windows the
# executable alone, which is all a user there needs.
include(GNUInstallDirs)

if(TARGET tolvane)
  install(TARGETS tolvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

if(TOLVANE_BACKEND STREQUAL "linux")
  # The page carries the version and date of this build.
  string(TIMESTAMP TOLVANE_MAN_DATE "%Y-%m-%d" UTC)
  configure_file(${CMAKE_SOURCE_DIR}/docs/tolvane.1.in ${CMAKE_BINARY_DIR}/docs/tolvane.1 @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/docs/tolvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(PROGRAMS ${CMAKE_SOURCE_DIR}/scripts/log2csv DESTINATION ${CMAKE_INSTALL_BINDIR}
          RENAME tolvane-log2csv)
endif()
