# Every target of ours gets the same warning set; the presets turn them into errors.
add_library(lumeko_warnings INTERFACE)
target_compile_options(lumeko_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow
  $<$<BOOL:${LUMEKO_WERROR}>:-Werror>)
