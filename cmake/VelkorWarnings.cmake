# Warnings on our own targets (not on third-party code); errors unless
# VELKOR_WERROR is off.
function(velkor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow)
  if(VELKOR_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
