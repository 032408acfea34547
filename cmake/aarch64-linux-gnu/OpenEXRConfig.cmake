# OpenEXR for the aarch64 cross build. Debian's libopenexr-dev cannot be
# installed for amd64 and arm64 at once; its headers are the same for both,
# so the installed amd64 headers serve with the arm64 runtime libraries
# (libopenexr-3-1-30:arm64).
include(CMakeFindDependencyMacro)
find_dependency(Imath)
find_dependency(ZLIB)
find_dependency(Threads)

set(OpenEXR_FOUND FALSE)
set(openexr_libraries Iex IlmThread OpenEXRCore OpenEXR)
foreach(library IN LISTS openexr_libraries)
  find_library(OpenEXR_${library}_LIBRARY NAMES lib${library}-3_1.so.30 PATHS /usr/lib/aarch64-linux-gnu NO_DEFAULT_PATH)
  if(NOT OpenEXR_${library}_LIBRARY)
    set(OpenEXR_NOT_FOUND_MESSAGE "lib${library}-3_1.so.30 is missing: install libopenexr-3-1-30:arm64")
    return()
  endif()
endforeach()
if(NOT EXISTS /usr/include/OpenEXR/ImfHeader.h)
  set(OpenEXR_NOT_FOUND_MESSAGE "the OpenEXR headers are missing: install libopenexr-dev")
  return()
endif()

if(NOT TARGET OpenEXR::OpenEXR)
  set(dependencies Imath::Imath ZLIB::ZLIB Threads::Threads)
  foreach(library IN LISTS openexr_libraries)
    add_library(OpenEXR::${library} SHARED IMPORTED)
    set_target_properties(OpenEXR::${library} PROPERTIES
      IMPORTED_LOCATION ${OpenEXR_${library}_LIBRARY}
      INTERFACE_INCLUDE_DIRECTORIES /usr/include/OpenEXR
      INTERFACE_LINK_LIBRARIES "${dependencies}")
    list(APPEND dependencies OpenEXR::${library})
  endforeach()
endif()
set(OpenEXR_FOUND TRUE)
