# SPDX-License-Identifier: MIT
# The Windows packages, made with CPack in the cross build's folder:
#   cpack -G ZIP    krv-glyde-<version>-windows-x64.zip, a folder that runs where it is unpacked
#   cpack -G NSIS   krv-glyde-<version>-windows-x64.exe, an installer (Debian's nsis) with a Start-menu
#                   entry and an uninstaller
# Both hold one folder: the programs, Qt's and the compiler's DLLs and the plugins
# (cmake/WindowsRuntime.cmake), the shipped config.ini and macro files, skins/ with the images and
# fonts, icons/ and the licence.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME krv-glyde)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The KRV Glyde developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Configuration tool and companion of the VELDRA gaming mouse")
set(CPACK_PACKAGE_FILE_NAME krv-glyde-${PROJECT_VERSION}-windows-x64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "KRV Glyde")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${KRV_INSTALL_APPDIR} RENAME LICENSE.txt)

find_program(KRV_MAKENSIS makensis)
set(CPACK_GENERATOR ZIP)
if(KRV_MAKENSIS AND WITH_GUI)
  list(APPEND CPACK_GENERATOR NSIS)
endif()

# The installer: into Program Files, "KRV Glyde" in the Start menu, an uninstaller in Apps.
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# A 64-bit installer, as the programs are (Debian's nsis has the amd64 stubs and plugins).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_DISPLAY_NAME "KRV Glyde")
set(CPACK_NSIS_PACKAGE_NAME "KRV Glyde ${PROJECT_VERSION}")
set(CPACK_NSIS_MENU_LINKS "krv-glyde.exe" "KRV Glyde")
set(CPACK_NSIS_INSTALLED_ICON_NAME "krv-glyde.exe")
set(CPACK_NSIS_MUI_ICON "${CMAKE_BINARY_DIR}/icons/krv-glyde.ico")
set(CPACK_NSIS_MUI_UNIICON "${CMAKE_BINARY_DIR}/icons/krv-glyde.ico")
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# The program keeps the user's profiles and macros in its own folder (config.ini, Macro_EN.dat,
# Macro_CN.dat, first copied from the shipped ones): an installation over an earlier one keeps
# them, and removing the program leaves them (as *.keep) for the next installation to take back.
set(_user_files config.ini Macro_EN.dat Macro_CN.dat)
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "")
foreach(file IN LISTS _user_files)
  string(APPEND CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS
    "  IfFileExists \"$INSTDIR\\${file}.keep\" +3 0\n"
    "  IfFileExists \"$INSTDIR\\${file}\" 0 +2\n"
    "  Rename \"$INSTDIR\\${file}\" \"$INSTDIR\\${file}.keep\"\n")
  string(APPEND CPACK_NSIS_EXTRA_INSTALL_COMMANDS
    "  IfFileExists \"$INSTDIR\\${file}.keep\" 0 +3\n"
    "  Delete \"$INSTDIR\\${file}\"\n"
    "  Rename \"$INSTDIR\\${file}.keep\" \"$INSTDIR\\${file}\"\n")
  string(APPEND CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS
    "  Rename \"$INSTDIR\\${file}\" \"$INSTDIR\\${file}.keep\"\n")
endforeach()

include(CPack)
