# SPDX-License-Identifier: MIT
# What a distribution ships besides the programs (desktop entry, icon, AppStream metainfo, licence,
# changelogs) and the Debian package made by CPack:
#   cmake --build build --target package      (or: cd build && cpack -G DEB)
# gives build/krv-glyde_<version>_amd64.deb. The version is the project() version; it reaches the
# programs (KRV_VERSION), the package, the metainfo and, checked here, the newest entry of CHANGELOG.md.

set(KRV_HOMEPAGE "https://github.com/krv-glyde/krv-glyde")
# The README's screenshots, where software centres fetch them.
set(KRV_SCREENSHOT_BASE "https://raw.githubusercontent.com/krv-glyde/krv-glyde/main/docs")
set(KRV_MAINTAINER "The KRV Glyde developers <krv-glyde@users.noreply.github.com>")
set(KRV_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/krv-glyde)
# Where the man pages and the bash completion go (see krv_install_man_page below).
set(KRV_INSTALL_MAN1DIR ${CMAKE_INSTALL_MANDIR}/man1)
set(KRV_INSTALL_BASH_COMPLETIONDIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The programs say the version (KRV_VERSION) and find their icon by the application id (KRV_APP_ID):
# both are compile definitions of the whole project, set beside the version in CMakeLists.txt.
foreach(program krv-glyde krv-glyde-demo widget_app_icon_test)
  if(TARGET ${program} AND TARGET krv_icon)
    add_dependencies(${program} krv_icon)
  endif()
endforeach()

# --- CHANGELOG.md: "## <version> - <YYYY-MM-DD>" headings, each followed by "- " items on one line.
set(_changelog ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_changelog})
file(STRINGS ${_changelog} _lines ENCODING UTF-8)
set(_versions)
foreach(line IN LISTS _lines)
  if(line MATCHES "^## ([0-9][0-9A-Za-z.+~]*) - ([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9])$")
    set(_v ${CMAKE_MATCH_1})
    list(APPEND _versions ${_v})
    set(_date_${_v} ${CMAKE_MATCH_2})
    set(_items_${_v})
  elseif(line MATCHES "^- (.+)$" AND _versions)
    string(REPLACE ";" "@SC@" _item "${CMAKE_MATCH_1}") # a list element of its own otherwise
    list(APPEND _items_${_v} "${_item}")
  endif()
endforeach()
list(GET _versions 0 KRV_RELEASE_VERSION)
if(NOT KRV_RELEASE_VERSION STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "CHANGELOG.md starts with version ${KRV_RELEASE_VERSION}, the project is ${PROJECT_VERSION}: "
                      "add an entry for ${PROJECT_VERSION} at its top")
endif()
set(KRV_RELEASE_DATE ${_date_${PROJECT_VERSION}})

# Words of `text` in lines of at most `width` characters, each starting with `indent`.
function(krv_wrap out text first_indent indent width)
  string(REPLACE " " ";" _words "${text}")
  set(_result "")
  set(_line "${first_indent}")
  set(_empty TRUE)
  foreach(word IN LISTS _words)
    string(LENGTH "${_line} ${word}" _len)
    if(NOT _empty AND _len GREATER width)
      string(APPEND _result "${_line}\n")
      set(_line "${indent}${word}")
    elseif(_empty)
      string(APPEND _line "${word}")
    else()
      string(APPEND _line " ${word}")
    endif()
    set(_empty FALSE)
  endforeach()
  set(${out} "${_result}${_line}\n" PARENT_SCOPE)
endfunction()

set(KRV_METAINFO_RELEASES "")
set(_debian_changelog "")
foreach(v IN LISTS _versions)
  set(_xml_items "")
  set(_deb_items "")
  foreach(item IN LISTS _items_${v})
    string(REPLACE "`" "" item "${item}")
    string(REPLACE "&" "&amp;" _xml "${item}")
    string(REPLACE "<" "&lt;" _xml "${_xml}")
    string(REPLACE ">" "&gt;" _xml "${_xml}")
    string(REPLACE "@SC@" ";" _xml "${_xml}")
    string(APPEND _xml_items "          <li>${_xml}</li>\n")
    krv_wrap(_wrapped "${item}" "  * " "    " 78)
    string(REPLACE "@SC@" ";" _wrapped "${_wrapped}")
    string(APPEND _deb_items "${_wrapped}")
  endforeach()
  string(APPEND KRV_METAINFO_RELEASES "    <release version=\"${v}\" date=\"${_date_${v}}\">\n"
         "      <description>\n        <ul>\n${_xml_items}        </ul>\n      </description>\n    </release>\n")
  execute_process(COMMAND date -u -R -d "${_date_${v}} 12:00:00"
                  OUTPUT_VARIABLE _rfc2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  string(APPEND _debian_changelog "krv-glyde (${v}) unstable; urgency=medium\n\n${_deb_items}\n"
         " -- ${KRV_MAINTAINER}  ${_rfc2822}\n\n")
endforeach()

# --- Desktop entry, icon (drawn by tools/ into bin/icons), metainfo, licence and changelogs.
set(_pkgdata ${CMAKE_BINARY_DIR}/package-data)
configure_file(${PROJECT_SOURCE_DIR}/data/metainfo/${KRV_APP_ID}.metainfo.xml.in
               ${_pkgdata}/${KRV_APP_ID}.metainfo.xml @ONLY)

# The Debian copyright file in its machine-readable form, with the licence text of LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE _license)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
string(REGEX REPLACE "^MIT License\n\n(Copyright \\(c\\) )?([^\n]*)\n\n" "" _license_body "${_license}")
set(_copyright_holder "${CMAKE_MATCH_2}")
string(REGEX REPLACE "\n+$" "" _license_body "${_license_body}")
string(REPLACE "\n\n" "\n.\n" _license_body "${_license_body}")
string(REPLACE "\n" "\n " _license_body "${_license_body}")
file(WRITE ${_pkgdata}/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: krv-glyde\n"
  "Upstream-Contact: ${KRV_MAINTAINER}\n"
  "Source: ${KRV_HOMEPAGE}\n\n"
  "Files: *\n"
  "Copyright: ${_copyright_holder}\n"
  "License: MIT\n\n"
  "License: MIT\n ${_license_body}\n")

# The package is native (its version has no Debian revision): its changelog is changelog.gz.
file(WRITE ${_pkgdata}/changelog "${_debian_changelog}")
execute_process(COMMAND gzip -9 -n -f -k ${_pkgdata}/changelog COMMAND_ERROR_IS_FATAL ANY)

if(WITH_GUI)
  install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/${KRV_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_pkgdata}/${KRV_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(DIRECTORY ${KRV_OUTPUT_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()
install(FILES ${_pkgdata}/copyright ${_pkgdata}/changelog.gz DESTINATION ${KRV_DOCDIR})
# The optional rule for Wayland sessions (keys sent through /dev/uinput), for the administrator to copy
# into /etc/udev/rules.d: it gives the user at the seat the uinput device, which not every system wants.
install(FILES ${PROJECT_SOURCE_DIR}/data/udev/71-krv-glyde-uinput.rules DESTINATION ${KRV_DOCDIR}/examples)

# A man page made by the build (for example from scdoc), compressed as Debian wants it and installed
# into share/man/man1: krv_install_man_page(<target making it> <the page's path in the build tree>)
function(krv_install_man_page target page)
  get_filename_component(_name ${page} NAME)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND gzip -9 -n -c ${page} > ${page}.gz
    DEPENDS ${target} ${page} VERBATIM)
  add_custom_target(${_name}_gz ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${KRV_INSTALL_MAN1DIR})
endfunction()

# Debian ships programs without the compiler's identification (the .comment and .note sections, which
# dh_strip removes): a stripped install (the package, `cmake --install --strip`) takes them out too. It
# runs after the programs are installed (install rules run in the order of the configuration).
set(_installed_programs)
foreach(program krv-glyde krv-glyde-ctl krv-glyde-demo)
  if(TARGET ${program})
    list(APPEND _installed_programs ${program})
  endif()
endforeach()
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(_program ${_installed_programs})
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KRV_INSTALL_APPDIR}/\${_program}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

# --- The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME krv-glyde)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The KRV Glyde developers")
set(CPACK_PACKAGE_CONTACT "${KRV_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KRV_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KRV_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "configuration tool and companion of the VELDRA gaming mouse
KRV Glyde keeps five profiles of the VELDRA gaming mouse (USB 18f8:0f99)
and sends them to the mouse: the function of each button, the DPI stages,
the lighting, the wheel, the pointer speed and the fire key. While it runs
in the tray it performs the functions the mouse hands to the computer: DPI
steps, lighting toggle, shortcuts, screen lock, launchers, profile switch
and recorded macros.
.
The package holds the companion (krv-glyde), the command-line tool
krv-glyde-ctl, a demo on a simulated mouse (krv-glyde-demo) and a udev rule
that gives the user logged in at the seat access to the mouse, so that no
program needs root.")
# Libraries from the programs themselves; besides them the skin's fonts, the fontconfig that maps
# them, and Qt's X11 platform plugin, which no program links but every window needs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fontconfig, fonts-liberation, fonts-wqy-zenhei, qt6-qpa-plugins")
# The buttons' shell functions open files and lock the session through these when present.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/data/package/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Everything installed, programs and data alike, is the package's: nothing of the users' (their files
# live in their home folders) is removed with it.
include(CPack)
