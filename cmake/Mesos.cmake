# The host platform from an installed Mesos 1.2.0 instead of the stand-in:
#   OVRA_MESOS_INCLUDE_DIR  its headers: mesos/, stout/ and process/, with
#                           Mesos's .proto files beside their .pb.h
#   OVRA_MESOS_LIBRARY_DIR  the folder of libmesos.so
# The imported library takes the stand-in's target name, mesos_platform,
# so that the modules build the same way against either. Mesos's module
# dependencies (protobuf, glog, boost, picojson) must be the ones libmesos
# was built with: give their install prefix (a Mesos build made with
# --enable-install-module-dependencies installs them under
# lib/mesos/3rdparty) as OVRA_MESOS_3RDPARTY_DIR, before the system's.

foreach(var OVRA_MESOS_INCLUDE_DIR OVRA_MESOS_LIBRARY_DIR)
  if(NOT ${var})
    message(FATAL_ERROR
      "Building against an installed Mesos needs both OVRA_MESOS_INCLUDE_DIR "
      "and OVRA_MESOS_LIBRARY_DIR; ${var} is not set")
  endif()
  if(NOT IS_DIRECTORY "${${var}}")
    message(FATAL_ERROR "${var} '${${var}}' is not a folder")
  endif()
endforeach()

# The headers the modules cannot build without, and the version they are for.
foreach(header
    mesos/version.hpp mesos/mesos.proto mesos/module.hpp
    mesos/authorizer/authorizer.hpp mesos/slave/isolator.hpp
    stout/try.hpp process/future.hpp)
  if(NOT EXISTS "${OVRA_MESOS_INCLUDE_DIR}/${header}")
    message(FATAL_ERROR
      "OVRA_MESOS_INCLUDE_DIR '${OVRA_MESOS_INCLUDE_DIR}' has no ${header}: "
      "give the include folder of an installed Mesos 1.2.0")
  endif()
endforeach()

file(STRINGS "${OVRA_MESOS_INCLUDE_DIR}/mesos/version.hpp" version_line
  REGEX "#define MESOS_VERSION ")
string(REGEX MATCH "\"([0-9]+\\.[0-9]+)\\.[0-9]+\"" version_match "${version_line}")
if(NOT CMAKE_MATCH_1 STREQUAL "1.2")
  message(FATAL_ERROR
    "OVRA_MESOS_INCLUDE_DIR holds Mesos ${version_match}; "
    "these modules are for Mesos 1.2 (module API \"2\")")
endif()

find_library(OVRA_MESOS_LIBRARY NAMES mesos
  PATHS "${OVRA_MESOS_LIBRARY_DIR}" NO_DEFAULT_PATH)
if(NOT OVRA_MESOS_LIBRARY)
  message(FATAL_ERROR
    "OVRA_MESOS_LIBRARY_DIR '${OVRA_MESOS_LIBRARY_DIR}' has no libmesos")
endif()

# GCC 12 reports code of picojson 1.3.0 and of stout's Option (1.2.0),
# inlined from their headers, as maybe used uninitialized, at those
# headers' lines: false positives in Mesos's code, not ours.
add_compile_options(-Wno-maybe-uninitialized)

add_library(mesos_platform SHARED IMPORTED GLOBAL)
set_target_properties(mesos_platform PROPERTIES
  IMPORTED_LOCATION "${OVRA_MESOS_LIBRARY}"
  IMPORTED_NO_SONAME FALSE)
target_include_directories(mesos_platform INTERFACE "${OVRA_MESOS_INCLUDE_DIR}")
target_include_directories(mesos_platform SYSTEM INTERFACE
  ${PICOJSON_INCLUDE_DIR} ${Boost_INCLUDE_DIRS})
target_link_libraries(mesos_platform INTERFACE
  protobuf::libprotobuf glog::glog Threads::Threads)
# The module manager's own header, which only the host and the tests
# include (Mesos installs it nowhere; a build from source keeps it).
add_library(mesos_internal INTERFACE)
if(OVRA_MESOS_INTERNAL_INCLUDE_DIR)
  target_include_directories(mesos_internal INTERFACE "${OVRA_MESOS_INTERNAL_INCLUDE_DIR}")
endif()
target_link_libraries(mesos_internal INTERFACE mesos_platform)

message(STATUS "Building the modules against Mesos ${version_match} in ${OVRA_MESOS_INCLUDE_DIR} and ${OVRA_MESOS_LIBRARY}")
