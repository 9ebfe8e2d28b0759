# Release archives, made by cpack from the "archive" install component: one
# folder holding the program, README, the sample database and, on Linux, the
# manual page, on Windows a plain-text quick start. The ordinary install
# rules (bin/, share/man/) are not part of it, nor is it part of them.
set(qv_archive_files README.md examples/sample.pdb)
if(WIN32)
  set(qv_system windows)
  install(FILES packaging/QUICKSTART-windows.txt DESTINATION . RENAME QUICKSTART.txt
          COMPONENT archive EXCLUDE_FROM_ALL)
else()
  set(qv_system linux)
  list(APPEND qv_archive_files docs/qv.1)
endif()
install(TARGETS qv RUNTIME DESTINATION . COMPONENT archive EXCLUDE_FROM_ALL)
install(FILES ${qv_archive_files} DESTINATION . COMPONENT archive EXCLUDE_FROM_ALL)

string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" qv_processor)
if(qv_processor MATCHES "^(amd64|x64)$")
  set(qv_processor x86_64)
endif()
set(CPACK_PACKAGE_NAME qv)
set(CPACK_PACKAGE_VENDOR qv)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Converts Quorvex databases (.PDB) to and from CSV")
set(CPACK_PACKAGE_FILE_NAME qv-${PROJECT_VERSION}-${qv_system}-${qv_processor})
# Only the archive component, under the archive's own name.
set(CPACK_COMPONENTS_ALL archive)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_ARCHIVE_ARCHIVE_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
include(CPack)
