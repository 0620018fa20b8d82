# Warnings for the project's own targets; CI presets turn them into errors
# through CMAKE_COMPILE_WARNING_AS_ERROR.
add_library(projectWarnings INTERFACE)
target_compile_options(projectWarnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wcast-qual -Wformat=2 -Wundef)
