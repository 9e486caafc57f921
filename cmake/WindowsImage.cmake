# How a shipped Windows program is laid out: sections on page boundaries in the file, so that the
# loader can map them from the file instead of copying them into private memory, and the debug
# information in <name>.debug beside the program instead of in it (Wine loads an image's debug
# sections with the rest: some 20 MB of private memory in every overlay process). Debuggers find
# the file through the program's debug link.
function(corvane_windows_image target)
  target_link_options(${target} PRIVATE -Wl,--file-alignment,4096)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}>
            $<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-debug
            --add-gnu-debuglink=$<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.debug
            $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
