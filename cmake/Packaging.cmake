# The release package of the Windows build: `cpack` in the build folder, or the `package` target.
# Two zips in ${CORVANE_PACKAGE_DIR}, both laid out as the host's install folder, so that each
# unpacks into that folder as it stands:
#   ${CORVANE_PACKAGE_NAME}.zip        the overlay, the support tools, the host kit with its
#                                      schema and sample host, and the texts for integrators
#   ${CORVANE_PACKAGE_NAME}-debug.zip  the programs' debug information, each file beside its
#                                      program (and the development reader key, when the build
#                                      carries that key)
# Included at the end of the top CMakeLists.txt, so that every target it installs is defined.
if(NOT WIN32)
  return()
endif()

# Where each part goes inside the host's folder. The overlay needs a folder of its own: the
# folder above the program's is the host path, and the log lands in <host path>\log.
set(CORVANE_OVERLAY_DIR overlay)
set(CORVANE_TOOLS_DIR tools)
set(CORVANE_KIT_DIR kit)

install(TARGETS Corvane RUNTIME DESTINATION ${CORVANE_OVERLAY_DIR} COMPONENT release)
install(FILES $<TARGET_FILE_DIR:Corvane>/$<TARGET_FILE_BASE_NAME:Corvane>.debug
        DESTINATION ${CORVANE_OVERLAY_DIR} COMPONENT debug)

# corvane-demo-game is a stand-in game window, so that a team can try Corvane, its own host or
# the sample host without a game.
foreach(tool corvane-feed corvane-inspect corvane-logcat corvane-demo-game)
  # Like Corvane.exe, each shipped program says in its file properties which release it is of.
  corvane_add_version_resource(${tool} VERSION ${PROJECT_VERSION} DESCRIPTION "Corvane ${tool}")
  install(TARGETS ${tool} RUNTIME DESTINATION ${CORVANE_TOOLS_DIR} COMPONENT release)
  install(FILES $<TARGET_FILE_DIR:${tool}>/$<TARGET_FILE_BASE_NAME:${tool}>.debug
          DESTINATION ${CORVANE_TOOLS_DIR} COMPONENT debug)
endforeach()

# The host kit: a C header, the DLL and its import libraries (MinGW's, and MSVC's with the
# .def it is made from). Built only where its target exists.
if(TARGET corvane_feed_c)
  corvane_add_version_resource(corvane_feed_c VERSION ${PROJECT_VERSION}
    DESCRIPTION "Corvane host kit: the performance feed's C interface" DLL)
  install(TARGETS corvane_feed_c
          RUNTIME DESTINATION ${CORVANE_KIT_DIR}/bin COMPONENT release
          ARCHIVE DESTINATION ${CORVANE_KIT_DIR}/lib COMPONENT release
          LIBRARY DESTINATION ${CORVANE_KIT_DIR}/lib COMPONENT release)
  install(FILES ${PROJECT_SOURCE_DIR}/src/kit/corvane_feed.h
          DESTINATION ${CORVANE_KIT_DIR}/include COMPONENT release)
  # For MSVC: the export list and the import library made from it.
  install(FILES ${PROJECT_SOURCE_DIR}/src/kit/corvane_feed.def
                ${CMAKE_BINARY_DIR}/lib/corvane_feed.lib
          DESTINATION ${CORVANE_KIT_DIR}/lib COMPONENT release)
  install(FILES $<TARGET_FILE_DIR:corvane_feed_c>/$<TARGET_FILE_BASE_NAME:corvane_feed_c>.debug
          DESTINATION ${CORVANE_KIT_DIR}/bin COMPONENT debug)
  # A small complete host in C, as source: built against the kit as it ships.
  install(FILES ${PROJECT_SOURCE_DIR}/src/kit/examples/sample_host.c
          DESTINATION ${CORVANE_KIT_DIR}/examples COMPONENT release)
endif()

# The document's schema, whatever schema files the tree holds.
file(GLOB corvane_schema_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/schema/*.schema.json)
if(corvane_schema_files)
  install(FILES ${corvane_schema_files} DESTINATION ${CORVANE_KIT_DIR}/schema COMPONENT release)
endif()

# The text for integrators names the version and says which reader key the logs are made for.
cmake_path(COMPARE "${CORVANE_READER_KEYS_FILE}" EQUAL "${PROJECT_SOURCE_DIR}/keys/dev-reader.pub"
           CORVANE_PACKAGE_HAS_DEV_KEY)
if(CORVANE_PACKAGE_HAS_DEV_KEY)
  set(CORVANE_READER_KEY_NOTE
      "This build carries the DEVELOPMENT reader key, whose private half is public:\n\
anyone can read its logs. Do not ship it to players; build with\n\
-DCORVANE_READER_KEYS_FILE=<your release keys> instead. The private key file is\n\
in the debug zip: tools\\DEVELOPMENT-ONLY-reader.key (development only).")
  set(CORVANE_README_KEY_NOTE
      "This build carries the **development** reader key, whose private half is public: anyone \
can read its logs, so it must not reach players. Its private key file comes in the debug zip, \
as `tools/DEVELOPMENT-ONLY-reader.key` (development only); with both zips unpacked:")
  set(CORVANE_README_KEY_FILE "tools\\DEVELOPMENT-ONLY-reader.key")
  message(STATUS "The release package carries the development reader key (not for players)")
  # Its private half is public anyway (keys/ in the source): the debug zip, which players never
  # get, carries it under a name that says what it is, so that a team can read the logs of such
  # a build with the package alone. A build with release keys ships no private key at all.
  install(FILES ${PROJECT_SOURCE_DIR}/keys/dev-reader.key DESTINATION ${CORVANE_TOOLS_DIR}
          RENAME DEVELOPMENT-ONLY-reader.key COMPONENT debug)
else()
  cmake_path(GET CORVANE_READER_KEYS_FILE FILENAME keys_file_name)
  set(CORVANE_READER_KEY_NOTE
      "This build carries the reader keys of ${keys_file_name}: its logs can be read\n\
only with the matching private key file, which neither zip holds: whoever built\n\
this package keeps it.")
  set(CORVANE_README_KEY_NOTE
      "This build carries the reader keys of ${keys_file_name}: its logs can be read only with \
the matching private key file, which neither zip holds (whoever built this package keeps it):")
  set(CORVANE_README_KEY_FILE "<private key file>")
endif()
# The package's own README, for launcher teams: what is in the zip, how to try and start
# Corvane, where the logs go; its links lead only to files in the zip.
configure_file(${PROJECT_SOURCE_DIR}/docs/package/README.md.in ${CMAKE_BINARY_DIR}/package-README.md
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package-README.md DESTINATION . RENAME README.md
        COMPONENT release)
# Windows line ends throughout, the note's own included.
string(REPLACE "\n" "\r\n" CORVANE_READER_KEY_NOTE "${CORVANE_READER_KEY_NOTE}")
configure_file(${PROJECT_SOURCE_DIR}/docs/integrators.txt.in
               ${CMAKE_BINARY_DIR}/INTEGRATORS.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/INTEGRATORS.txt DESTINATION . COMPONENT release)
# The protocol page for the launcher's developers, beside the README.
install(FILES ${PROJECT_SOURCE_DIR}/docs/host-protocol.md DESTINATION . RENAME HOST-PROTOCOL.md
        COMPONENT release)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Corvane)
set(CPACK_PACKAGE_VENDOR "Corvane developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CORVANE_PACKAGE_DIR})
# No folder of the package's name around the files: the zip's root is the host's folder.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL release debug)
set(CPACK_ARCHIVE_RELEASE_FILE_NAME ${CORVANE_PACKAGE_NAME})
set(CPACK_ARCHIVE_DEBUG_FILE_NAME ${CORVANE_PACKAGE_NAME}-debug)
include(CPack)
