# The hardening Debian asks of every binary it ships (lintian --pedantic checks it), for every target of the
# project, whether or not the builder passes dpkg-buildflags: position-independent executables, read-only
# relocations bound at start (RELRO, BIND_NOW), the stack protector, and the fortified C library calls. On in
# the release preset and for the package; the test builds leave it off.
if(NOT SRD_HARDEN)
  return()
endif()

include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_compile_options(-fstack-protector-strong)
add_link_options(LINKER:-z,relro LINKER:-z,now)
# The fortified calls need the optimiser and have no place under a sanitizer, which checks the same itself.
# Undefined first: a value from the builder's own flags would otherwise be redefined with a warning.
if(NOT SRD_SANITIZE)
  add_compile_options("$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
