# Warnings for the project's own targets only (not for third-party headers).
function(quill_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                                           -Wno-missing-field-initializers)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wshadow=local>)
  else()
    target_compile_options(${target} PRIVATE -Wshadow)
  endif()
endfunction()
