# gridwell_man_page(SOURCE SECTION COMPONENT): a manual page written in scdoc, turned into roff
# and compressed at build time, installed with COMPONENT's package. scdoc's source reads like
# the page it makes and its roff passes `man --warnings`; without scdoc the page is skipped.
find_program(GRIDWELL_SCDOC scdoc)
function(gridwell_man_page source section component)
  get_filename_component(name ${source} NAME_WE)
  if(NOT GRIDWELL_SCDOC)
    message(STATUS "${name}.${section}: manual page skipped, scdoc not found")
    return()
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${name}.${section})
  add_custom_command(OUTPUT ${page} ${page}.gz
    COMMAND sh -c "\"$1\" < \"$2\" > \"$3\" && gzip -9 -n -c \"$3\" > \"$3.gz\""
            sh ${GRIDWELL_SCDOC} ${CMAKE_CURRENT_SOURCE_DIR}/${source} ${page}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${source}
    VERBATIM)
  add_custom_target(man_${name} ALL DEPENDS ${page} ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endfunction()
