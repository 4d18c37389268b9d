# Finds libdeflate (the ZIP chunks' compressor) and makes the imported
# target Libdeflate::Libdeflate. pkg-config is asked first; without it (a
# cross build against a prefix of its own) the header and the library are
# looked up by name, static or shared.
#   Libdeflate_FOUND, Libdeflate_INCLUDE_DIR, Libdeflate_LIBRARY
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND AND NOT CMAKE_CROSSCOMPILING)
  pkg_check_modules(PC_LIBDEFLATE QUIET libdeflate)
endif()
find_path(Libdeflate_INCLUDE_DIR libdeflate.h HINTS ${PC_LIBDEFLATE_INCLUDE_DIRS})
find_library(Libdeflate_LIBRARY NAMES deflate libdeflate deflatestatic
             HINTS ${PC_LIBDEFLATE_LIBRARY_DIRS})
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Libdeflate REQUIRED_VARS Libdeflate_LIBRARY Libdeflate_INCLUDE_DIR)
if(Libdeflate_FOUND AND NOT TARGET Libdeflate::Libdeflate)
  add_library(Libdeflate::Libdeflate UNKNOWN IMPORTED)
  set_target_properties(Libdeflate::Libdeflate PROPERTIES
    IMPORTED_LOCATION "${Libdeflate_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Libdeflate_INCLUDE_DIR}")
endif()
mark_as_advanced(Libdeflate_INCLUDE_DIR Libdeflate_LIBRARY)
