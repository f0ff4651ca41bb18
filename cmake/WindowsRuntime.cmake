# SPDX-License-Identifier: MIT
# What the window's programs need beside them on Windows, put into bin/ by the build (so that the build
# tree runs under Wine as an unpacked program does) and installed with them. windeployqt is not there
# for a cross build: the list is made here from the Qt targets the programs link and load.
#   - Qt's DLLs (Core, Gui, Widgets) and the plugins the window loads: the windows platform (offscreen
#     too, for headless screenshots and tests), JPEG for the skin, ICO, the Windows style;
#   - the compiler's runtime DLLs, which Qt's DLLs import (the programs themselves are static);
#   - the fonts of the skin where Windows has no such fonts (Wine): Liberation Sans and Mono for
#     "Arial" and "Consolas", WenQuanYi Zen Hei for "宋体", with their licences.
# Qt6Test is copied for the widget tests only and is not installed.

set(KRV_QT_DLLS Qt6::Core Qt6::Gui Qt6::Widgets)
set(KRV_QT_PLUGINS
  platforms=Qt6::QWindowsIntegrationPlugin
  platforms=Qt6::QOffscreenIntegrationPlugin
  imageformats=Qt6::QJpegPlugin
  imageformats=Qt6::QICOPlugin
  styles=Qt6::QWindowsVistaStylePlugin)

set(KRV_MINGW_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(_path "${_path}" REALPATH)
  if(NOT EXISTS "${_path}")
    message(FATAL_ERROR "The compiler's runtime ${dll} was not found (${CMAKE_CXX_COMPILER} -print-file-name)")
  endif()
  list(APPEND KRV_MINGW_DLLS "${_path}")
endforeach()

set(KRV_FONT_FILES
  /usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf
  /usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf
  /usr/share/fonts/truetype/wqy/wqy-zenhei.ttc)
set(KRV_FONT_LICENCES
  /usr/share/doc/fonts-liberation/copyright=fonts-liberation.copyright
  /usr/share/doc/fonts-wqy-zenhei/copyright=fonts-wqy-zenhei.copyright)
foreach(file IN LISTS KRV_FONT_FILES)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} is missing (Debian: fonts-liberation, fonts-wqy-zenhei; "
                        "scripts/install-deps.sh windows-gui installs them)")
  endif()
endforeach()

set(_copies)
set(_outputs)
foreach(target IN LISTS KRV_QT_DLLS ITEMS Qt6::Test)
  list(APPEND _copies COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${KRV_OUTPUT_DIR})
endforeach()
foreach(dll IN LISTS KRV_MINGW_DLLS)
  list(APPEND _copies COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dll} ${KRV_OUTPUT_DIR})
endforeach()
foreach(entry IN LISTS KRV_QT_PLUGINS)
  string(REPLACE "=" ";" entry "${entry}")
  list(GET entry 0 _folder)
  list(GET entry 1 _target)
  list(APPEND _copies
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KRV_OUTPUT_DIR}/${_folder}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${_target}> ${KRV_OUTPUT_DIR}/${_folder})
  install(FILES $<TARGET_FILE:${_target}> DESTINATION ${KRV_INSTALL_APPDIR}/${_folder})
endforeach()
list(APPEND _copies COMMAND ${CMAKE_COMMAND} -E make_directory ${KRV_OUTPUT_DIR}/skins/fonts)
foreach(file IN LISTS KRV_FONT_FILES)
  list(APPEND _copies COMMAND ${CMAKE_COMMAND} -E copy_if_different ${file} ${KRV_OUTPUT_DIR}/skins/fonts)
  install(FILES ${file} DESTINATION ${KRV_INSTALL_DATADIR}/skins/fonts)
endforeach()
foreach(entry IN LISTS KRV_FONT_LICENCES)
  string(REPLACE "=" ";" entry "${entry}")
  list(GET entry 0 _file)
  list(GET entry 1 _name)
  list(APPEND _copies COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_file} ${KRV_OUTPUT_DIR}/skins/fonts/${_name})
  install(FILES ${_file} DESTINATION ${KRV_INSTALL_DATADIR}/skins/fonts RENAME ${_name})
endforeach()
set(_stamp ${CMAKE_BINARY_DIR}/krv_windows_runtime.stamp)
add_custom_command(OUTPUT ${_stamp} ${_copies}
  COMMAND ${CMAKE_COMMAND} -E touch ${_stamp}
  DEPENDS ${KRV_MINGW_DLLS} ${KRV_FONT_FILES}
  COMMENT "Qt's and the compiler's DLLs, the plugins and the skin's fonts beside the programs"
  VERBATIM)
add_custom_target(krv_windows_runtime ALL DEPENDS ${_stamp})

install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> ${KRV_MINGW_DLLS}
        DESTINATION ${KRV_INSTALL_APPDIR})
