# SQLite for the Windows build: Debian's sqlite3 3.40.1 as an amalgamation
# (scripts/windows/build-sqlite.sh makes it), compiled into a static library with
# the compile-time options Debian's libsqlite3 has, so that it behaves like the
# library the Linux build links.
set(ONDIVA_SQLITE_AMALGAMATION "" CACHE PATH "Folder holding SQLite's sqlite3.c and sqlite3.h")
if(NOT EXISTS "${ONDIVA_SQLITE_AMALGAMATION}/sqlite3.c" OR NOT EXISTS "${ONDIVA_SQLITE_AMALGAMATION}/sqlite3.h")
    message(FATAL_ERROR "ONDIVA_SQLITE_AMALGAMATION must name the folder made by scripts/windows/build-sqlite.sh")
endif()
file(STRINGS "${ONDIVA_SQLITE_AMALGAMATION}/sqlite3.h" ondiva_sqlite_version REGEX "^#define SQLITE_VERSION +\"")
message(STATUS "SQLite amalgamation: ${ondiva_sqlite_version}")

set(ONDIVA_SQLITE_OPTIONS
    SQLITE_SECURE_DELETE SQLITE_ENABLE_COLUMN_METADATA
    SQLITE_ENABLE_FTS3 SQLITE_ENABLE_FTS3_PARENTHESIS SQLITE_ENABLE_RTREE=1 SQLITE_SOUNDEX=1
    SQLITE_ENABLE_UNLOCK_NOTIFY SQLITE_OMIT_LOOKASIDE=1 SQLITE_ENABLE_DBSTAT_VTAB
    SQLITE_ALLOW_ROWID_IN_VIEW SQLITE_ENABLE_UPDATE_DELETE_LIMIT=1 SQLITE_ENABLE_LOAD_EXTENSION
    SQLITE_ENABLE_JSON1 SQLITE_LIKE_DOESNT_MATCH_BLOBS SQLITE_THREADSAFE=1 SQLITE_ENABLE_FTS3_TOKENIZER=1
    SQLITE_USE_URI=1 SQLITE_MAX_SCHEMA_RETRY=25 SQLITE_ENABLE_PREUPDATE_HOOK SQLITE_ENABLE_SESSION
    SQLITE_ENABLE_STMTVTAB SQLITE_MAX_VARIABLE_NUMBER=250000)

enable_language(C)
add_library(ondiva_sqlite3 STATIC "${ONDIVA_SQLITE_AMALGAMATION}/sqlite3.c")
target_include_directories(ondiva_sqlite3 SYSTEM PUBLIC "${ONDIVA_SQLITE_AMALGAMATION}")
target_compile_definitions(ondiva_sqlite3 PRIVATE ${ONDIVA_SQLITE_OPTIONS})
add_library(SQLite::SQLite3 ALIAS ondiva_sqlite3)

# The sqlite3 shell, for tests that hold a catalogue open from another program.
add_executable(ondiva_sqlite3_shell "${ONDIVA_SQLITE_AMALGAMATION}/shell.c")
target_compile_definitions(ondiva_sqlite3_shell PRIVATE ${ONDIVA_SQLITE_OPTIONS})
target_link_libraries(ondiva_sqlite3_shell PRIVATE ondiva_sqlite3)
set_target_properties(ondiva_sqlite3_shell PROPERTIES OUTPUT_NAME sqlite3
                                                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/sqlite3-shell)
