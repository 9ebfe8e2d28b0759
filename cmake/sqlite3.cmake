# SQLite for builds that have no system library of it (the Windows cross
# build): the single-file form of Debian's sqlite3 source package, which
# .ci/install-deps unpacks, generated at build time by the source's own
# makefile (native gcc and tclsh) and compiled here with the target compiler.
# Defines the static library target qv_sqlite3 when the source is there.
set(QV_SQLITE3_SOURCE /usr/local/src/qv-sqlite3 CACHE PATH "Unpacked sqlite3 source package")

if(NOT EXISTS ${QV_SQLITE3_SOURCE}/Makefile.linux-gcc OR NOT EXISTS ${QV_SQLITE3_SOURCE}/main.mk)
  message(STATUS "No sqlite3 source in ${QV_SQLITE3_SOURCE} (run .ci/install-deps): building without qv_sqlite3")
  return()
endif()
find_program(QV_TCLSH NAMES tclsh)  # the makefile calls it by this name
find_program(QV_HOST_MAKE NAMES gmake make)
find_program(QV_HOST_CC NAMES gcc cc)
if(NOT QV_TCLSH OR NOT QV_HOST_MAKE OR NOT QV_HOST_CC)
  message(STATUS "Generating SQLite needs tclsh, make and a native C compiler: building without qv_sqlite3")
  return()
endif()

enable_language(C)
set(qv_sqlite3_dir ${CMAKE_BINARY_DIR}/sqlite3)
file(MAKE_DIRECTORY ${qv_sqlite3_dir})
add_custom_command(
  OUTPUT ${qv_sqlite3_dir}/sqlite3.c ${qv_sqlite3_dir}/sqlite3.h
  COMMAND ${QV_HOST_MAKE} -s -f ${QV_SQLITE3_SOURCE}/Makefile.linux-gcc
          TOP=${QV_SQLITE3_SOURCE} "BCC=${QV_HOST_CC} -O0" "TCC=${QV_HOST_CC} -O0"
          sqlite3.c > generate.log
  DEPENDS ${QV_SQLITE3_SOURCE}/VERSION
  WORKING_DIRECTORY ${qv_sqlite3_dir}
  COMMENT "Generating sqlite3.c from ${QV_SQLITE3_SOURCE}"
  VERBATIM)

add_library(qv_sqlite3 STATIC ${qv_sqlite3_dir}/sqlite3.c)
target_include_directories(qv_sqlite3 SYSTEM PUBLIC ${qv_sqlite3_dir})
# A library for one process that opens files it was named: no extensions
# loaded from disk, no double-quoted string literals. Freed space is zeroed
# (SECURE_DELETE), as Debian builds its library, so that a file written here
# holds no leftover bytes and is the same bytes as the Linux build's.
target_compile_definitions(qv_sqlite3 PRIVATE SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0
                                              SQLITE_SECURE_DELETE)
# Third-party code: this project's warning settings are not its own.
target_compile_options(qv_sqlite3 PRIVATE -w)
# Used the way find_package(SQLite3) offers the system's library.
add_library(SQLite::SQLite3 ALIAS qv_sqlite3)

# A tiny program that creates, fills and reads back a database in memory and
# in a file, run as a test, proves the library links and works on the target.
if(QV_BUILD_TESTS)
  add_executable(sqlite3_check ${CMAKE_CURRENT_LIST_DIR}/sqlite3_check.c)
  target_link_libraries(sqlite3_check PRIVATE qv_sqlite3)
  add_test(NAME Sqlite3Check COMMAND sqlite3_check ${qv_sqlite3_dir}/check.db)
endif()
