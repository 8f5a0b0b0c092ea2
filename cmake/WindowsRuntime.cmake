# The Windows program directory beside the programs: the Qt DLLs they link, the plugins Qt
# loads from the program's own folder (platforms/, imageformats/, styles/) and MinGW's
# runtime DLLs, which the Qt DLLs link (our programs link that runtime statically). Copied
# into bin/ by the target win-runtime, so bin/ runs wherever it is copied to.

# MinGW's runtime DLLs, as the compiler finds them.
set(ORV_WIN_MINGW_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(found "${found}" REALPATH)
  if(NOT EXISTS "${found}")
    message(FATAL_ERROR "MinGW runtime ${dll} not found by ${CMAKE_CXX_COMPILER}")
  endif()
  list(APPEND ORV_WIN_MINGW_DLLS ${found})
endforeach()

# Folders a build tool run through Wine needs on its DLL search path (WINEPATH).
set(ORV_WIN_DLL_DIRS)
foreach(f ${ORV_WIN_MINGW_DLLS})
  get_filename_component(d ${f} DIRECTORY)
  list(APPEND ORV_WIN_DLL_DIRS "Z:${d}")
endforeach()
get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(ORV_WIN_QT_BIN ${qt_core_dll} DIRECTORY)
get_filename_component(ORV_WIN_QT_PLUGINS ${ORV_WIN_QT_BIN}/../plugins ABSOLUTE)
list(APPEND ORV_WIN_DLL_DIRS "Z:${ORV_WIN_QT_BIN}")
list(REMOVE_DUPLICATES ORV_WIN_DLL_DIRS)
string(REPLACE ";" "\\;" ORV_WIN_DLL_PATH "${ORV_WIN_DLL_DIRS}")

# plugin target, folder below bin/
set(orv_win_plugins
    QWindowsIntegrationPlugin:platforms
    QOffscreenIntegrationPlugin:platforms
    QJpegPlugin:imageformats QGifPlugin:imageformats QICOPlugin:imageformats
    QWindowsVistaStylePlugin:styles)
set(copies)
foreach(lib Core Gui Widgets)
  list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different
       $<TARGET_FILE:Qt6::${lib}> ${ORV_BIN_DIR}/)
endforeach()
foreach(entry ${orv_win_plugins})
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 plugin)
  list(GET entry 1 folder)
  list(APPEND copies COMMAND ${CMAKE_COMMAND} -E make_directory ${ORV_BIN_DIR}/${folder}
       COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::${plugin}>
       ${ORV_BIN_DIR}/${folder}/)
endforeach()
add_custom_target(win-runtime ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ORV_BIN_DIR}
  ${copies}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ORV_WIN_MINGW_DLLS} ${ORV_BIN_DIR}/
  COMMENT "Copying the Qt and MinGW runtime into ${ORV_BIN_DIR}"
  VERBATIM)
