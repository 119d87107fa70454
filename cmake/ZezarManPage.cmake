# zezar_install_man_page(<page> [COMPONENT <component>])
#
# Installs a man page gzip-compressed, as Debian requires and man reads anywhere. The build
# compresses it reproducibly (-n: neither name nor time in the header), so that two builds of
# one source make the same package.
function(zezar_install_man_page page)
  cmake_parse_arguments(ARG "" "COMPONENT" "" ${ARGN})
  get_filename_component(source ${page} ABSOLUTE)
  get_filename_component(name ${page} NAME)
  string(REGEX MATCH "[1-9]$" section ${name})
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
                     COMMAND gzip -9 -n -c ${source} > ${compressed}
                     DEPENDS ${source}
                     COMMENT "Compressing the man page ${name}")
  add_custom_target(man_${name} ALL DEPENDS ${compressed})
  if(ARG_COMPONENT)
    set(component COMPONENT ${ARG_COMPONENT})
  endif()
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} ${component})
endfunction()
