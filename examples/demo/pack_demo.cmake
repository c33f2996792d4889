# Packs the demo show. The template is the Windows build's lumora.scr when it exists,
# else a placeholder (the result then inspects fine but does not run).
if(EXISTS "${WINDOWS_TEMPLATE}")
  set(template "${WINDOWS_TEMPLATE}")
else()
  set(template "${PLACEHOLDER}")
  file(WRITE "${template}" "MZ placeholder template: build the windows preset for a playable demo.scr\n")
  message(STATUS "demo.scr: no ${WINDOWS_TEMPLATE} yet, packed onto a placeholder template")
endif()
execute_process(COMMAND "${PACK}" --quiet --template "${template}" "${SHOW}" "${OUT}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "packing the demo show failed")
endif()
