# SPDX-License-Identifier: MIT
add_compile_options(-Wall -Wextra -Wpedantic)
if(WITH_WERROR)
  add_compile_options(-Werror)
endif()
