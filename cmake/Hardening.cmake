# SPDX-License-Identifier: MIT
# Debian's hardening flags, as its own packages are built: dpkg-buildflags with every hardening
# feature on (fortified C library calls, the stack protector, format checks, read-only relocations
# bound at start; position-independent programs are the compiler's default). Every Linux build gets
# them, so that the package is made from hardened programs whichever build makes it; the optimisation
# and debug flags stay the build type's. Left out: the sanitizer builds, which instrument the same calls
# themselves, and fortification in Debug builds, which needs the optimiser.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_CROSSCOMPILING OR WITH_ASAN OR WITH_TSAN)
  return()
endif()
find_program(KRV_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT KRV_DPKG_BUILDFLAGS)
  message(STATUS "dpkg-buildflags (package dpkg-dev) not found: built without Debian's hardening flags")
  return()
endif()

# The flags dpkg-buildflags gives for `name` (CPPFLAGS, CXXFLAGS, CFLAGS, LDFLAGS), without the
# optimisation, debug and path-mapping flags.
function(krv_dpkg_buildflags out name)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${KRV_DPKG_BUILDFLAGS} --get ${name}
    OUTPUT_VARIABLE _flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(_flags UNIX_COMMAND "${_flags}")
  list(FILTER _flags EXCLUDE REGEX "^-(O.?|g.*|f[a-z]*-prefix-map=.*)$")
  set(${out} "${_flags}" PARENT_SCOPE)
endfunction()

krv_dpkg_buildflags(_cppflags CPPFLAGS)
krv_dpkg_buildflags(_cxxflags CXXFLAGS)
krv_dpkg_buildflags(_cflags CFLAGS)
krv_dpkg_buildflags(_ldflags LDFLAGS)
add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:${_cxxflags}>" "$<$<COMPILE_LANGUAGE:C>:${_cflags}>"
                    "$<$<NOT:$<CONFIG:Debug>>:${_cppflags}>")
add_link_options(${_ldflags})
message(STATUS "Debian's hardening flags: ${_cppflags} ${_cxxflags} ${_ldflags}")
