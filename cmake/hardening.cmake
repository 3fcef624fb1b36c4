# SPDX-License-Identifier: Apache-2.0
# Hardening: the flags Debian builds its own packages with (what
# dpkg-buildflags gives), set here so that a plain `cmake -S . -B build`
# build has them too. Driver installers run ppdregion as root.
#
#   position-independent executable     the program loads at a random address
#   -fstack-protector-strong            stack smashing stops the program
#   -D_FORTIFY_SOURCE=2                 C library calls check buffer sizes
#   -z relro, -z now                    relocations are read-only once every
#                                       symbol is bound, at start-up
#   -Werror=format-security             no printf-like call with a format
#                                       that is not a literal
#
# Included from the top-level CMakeLists.txt before any target is made.
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
add_link_options(LINKER:-z,relro LINKER:-z,now)

# _FORTIFY_SOURCE needs optimisation (glibc warns without it), so only the
# optimised build types get it. The sanitizer and fuzzing builds go without:
# AddressSanitizer does not see into all of the C library's checking
# variants, and would miss faults in the calls routed through them. Flags
# given at configure time that already set it (say, CXXFLAGS from
# dpkg-buildflags) are left as they are; -U first quiets the redefinition on
# compilers that set it by default.
if(NOT PPDREGION_SANITIZE AND NOT PPDREGION_FUZZ
   AND NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
  add_compile_options(
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
