# Install step: refreshes the MIME, desktop-entry and icon caches under ${tomelet_datadir} after
# the viewer's files were installed there. Does nothing when DESTDIR is set; a missing tool is
# skipped with a message, and a tool that fails is reported without failing the installation.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()

function(tomelet_refresh tool what)
  find_program(tomelet_tool_${tool} ${tool})
  if(NOT tomelet_tool_${tool})
    message(STATUS "Not refreshing the ${what}: ${tool} is not installed")
    return()
  endif()
  list(JOIN ARGN " " arguments)
  message(STATUS "Refreshing the ${what}: ${tool} ${arguments}")
  execute_process(COMMAND ${tomelet_tool_${tool}} ${ARGN} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(WARNING "${tool} failed (${result}); the ${what} may not know the viewer yet")
  endif()
endfunction()

tomelet_refresh(update-mime-database "MIME database" "${tomelet_datadir}/mime")
tomelet_refresh(update-desktop-database "desktop entries" -q "${tomelet_datadir}/applications")
tomelet_refresh(gtk-update-icon-cache "icon cache" -q -t -f "${tomelet_datadir}/icons/hicolor")
