# cmake -DPROGRAM=path -P linksnogui.cmake
# Fails when the program loads Qt Widgets or Gui, or what Gui would bring
# with it (OpenGL, X, fonts). ldd, not readelf -d: a library that is only
# loaded through another one counts as well.
if(NOT PROGRAM)
    message(FATAL_ERROR "PROGRAM is not set")
endif()
execute_process(COMMAND ldd ${PROGRAM}
    OUTPUT_VARIABLE libraries ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "ldd ${PROGRAM} failed: ${errors}")
endif()
# Without Qt Core in the list the check would read the wrong thing.
if(NOT libraries MATCHES "libQt6Core\\.so")
    message(FATAL_ERROR "ldd ${PROGRAM} lists no Qt Core:\n${libraries}")
endif()
string(REPLACE "\n" ";" lines "${libraries}")
set(found)
foreach(line IN LISTS lines)
    if(line MATCHES "(libQt6(Widgets|Gui|OpenGL|XcbQpa)|lib(E?GL|GLX|OpenGL|X11|xcb|xkbcommon|fontconfig|freetype))[^ ]*\\.so")
        string(STRIP "${line}" line)
        list(APPEND found "${line}")
    endif()
endforeach()
if(found)
    list(JOIN found "\n  " shown)
    message(FATAL_ERROR "${PROGRAM} loads GUI libraries:\n  ${shown}")
endif()
