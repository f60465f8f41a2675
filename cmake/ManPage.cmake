# add_man_page(TARGET): the program's manual page (section 1), written from its
# own --help by cmake/help-to-man whenever the program is built, compressed
# the way Debian ships manual pages, and installed. Running the program at
# build time needs a native build, which is all this project makes.
function(add_man_page target)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  set(script ${PROJECT_SOURCE_DIR}/cmake/help-to-man)
  add_custom_command(
    OUTPUT ${page} ${page}.gz
    COMMAND ${script} $<TARGET_FILE:${target}> ${target} ${PROJECT_VERSION} ${VH_RELEASE_DATE}
            ${page}
    COMMAND gzip -9 -n -f -k ${page}
    DEPENDS ${target} ${script}
    COMMENT "Writing the manual page of ${target}"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS ${page}.gz)
  set_target_properties(${target} PROPERTIES MAN_PAGE ${page})
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
