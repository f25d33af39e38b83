# Common compile settings for every Melvaro target.
#
# Pixel code must not let the compiler reassociate or fuse floating-point
# operations: which operations are single and which double precision is part of
# every result, so no -ffast-math and no contraction into fused multiply-adds.
function(melvaro_target_defaults target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
    -Werror
    -ffp-contract=off -fno-fast-math)
endfunction()

# A static library of one subsystem: sources given, headers found from the
# repository root ("picture/SBxPicBuf.h").
function(melvaro_library target)
  add_library(${target} STATIC ${ARGN})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  melvaro_target_defaults(${target})
endfunction()
