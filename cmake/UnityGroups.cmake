# Test executables compiled in groups (unity builds). Their files include the same heavy
# headers (GoogleTest and gmock, fmt, nlohmann/json, <regex>), whose templates each file would
# otherwise parse, instantiate, optimise and describe in debug information again: one unit per
# group does that once, which halves the processor time of these targets.
#
#   corvane_unity_groups(TARGET GROUP NAME FILE... [GROUP NAME FILE...]...)
#
# Files of one group are compiled as one unit, in the target's order of sources: they must not
# define the same name at file scope or in their anonymous namespaces (helpers such as ErrorOf
# or kLogSource go into different groups), and a file that opens a namespace into the file
# scope (`using namespace`) stays out of the groups. A file in no group, such as a new one,
# compiles on its own. A group may name a file that this build does not compile (natively
# only, or under Windows only). -DCORVANE_UNITY_TESTS=OFF compiles every file on its own.
option(CORVANE_UNITY_TESTS "Compile the test executables' files in groups (unity builds)" ON)

function(corvane_unity_groups target)
  if(NOT CORVANE_UNITY_TESTS)
    return()
  endif()
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_MODE GROUP)
  set(group "")
  set(next_is_name FALSE)
  foreach(arg IN LISTS ARGN)
    if(arg STREQUAL "GROUP")
      set(next_is_name TRUE)
    elseif(next_is_name)
      set(group ${target}_${arg})
      set(next_is_name FALSE)
    elseif(group STREQUAL "")
      message(FATAL_ERROR "corvane_unity_groups(${target}): ${arg} comes before any GROUP")
    elseif(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${arg})
      message(FATAL_ERROR "corvane_unity_groups(${target}): there is no ${arg}")
    else()
      set_source_files_properties(${arg} PROPERTIES UNITY_GROUP ${group})
    endif()
  endforeach()
endfunction()
