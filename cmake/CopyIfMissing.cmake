# SPDX-License-Identifier: MIT
# cmake -DSOURCE=<file> -DTARGET=<file> -P CopyIfMissing.cmake
# Copies SOURCE to TARGET unless TARGET exists: a file the program has since saved stays as it is.
if(NOT EXISTS "${TARGET}")
  file(COPY_FILE "${SOURCE}" "${TARGET}")
endif()
