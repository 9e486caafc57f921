# corvane_add_manifest(<target>...)
# Embeds cmake/corvane.manifest into each Windows program as its application manifest (resource
# type RT_MANIFEST, id 1, which the loader reads when the process starts).
function(corvane_add_manifest)
  set(manifest ${PROJECT_SOURCE_DIR}/cmake/corvane.manifest)
  set(rc ${PROJECT_BINARY_DIR}/corvane_manifest.rc)
  file(WRITE ${rc}.in "1 24 \"@manifest@\"\n")
  configure_file(${rc}.in ${rc} @ONLY)
  foreach(target IN LISTS ARGN)
    target_sources(${target} PRIVATE ${rc})
    # An edit of the manifest compiles the resource again.
    set_property(SOURCE ${rc} TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS ${manifest})
  endforeach()
endfunction()
