# Warnings are errors on our own targets (not on third-party code).
function(velkor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
