# The real host platform built from source: OVRA_MESOS_SOURCE names a
# Mesos 1.2.0 source archive (.tar.gz) or tree. At configure time, with no
# network access, this
#   1. unpacks it (or copies the parts it needs) into
#      <build>/mesos-1.2.0/source, with the bundled http-parser (patched as
#      Mesos patches it) and picojson, and applies the upstream stout patch
#      for Boost >= 1.62 (stout-boost-1.62.patch, found beside the source or
#      given as OVRA_MESOS_STOUT_PATCH) unless stout already has it;
#   2. builds and installs libmesos from it with cmake/mesos into
#      <build>/mesos-1.2.0/prefix, laid out as an installed Mesos;
#   3. points the OVRA_MESOS_* switch (cmake/Mesos.cmake) at that prefix.
# A second configure of the same folder rebuilds nothing that is current.

set(stage ${CMAKE_BINARY_DIR}/mesos-1.2.0)
set(tree ${stage}/source)
set(prefix ${stage}/prefix)

if(NOT EXISTS "${OVRA_MESOS_SOURCE}")
  message(FATAL_ERROR "OVRA_MESOS_SOURCE '${OVRA_MESOS_SOURCE}' does not exist")
endif()
get_filename_component(source_parent "${OVRA_MESOS_SOURCE}" DIRECTORY)
set(OVRA_MESOS_STOUT_PATCH "${source_parent}/stout-boost-1.62.patch" CACHE FILEPATH
  "The upstream stout change that builds stout against Boost >= 1.62")

# What was prepared, and from what: a changed source or patch starts afresh.
if(IS_DIRECTORY "${OVRA_MESOS_SOURCE}")
  set(source_id "tree ${OVRA_MESOS_SOURCE}")
else()
  file(SHA256 "${OVRA_MESOS_SOURCE}" source_id)
endif()
if(EXISTS "${OVRA_MESOS_STOUT_PATCH}")
  file(SHA256 "${OVRA_MESOS_STOUT_PATCH}" patch_id)
  string(APPEND source_id " ${patch_id}")
endif()
set(stamp ${stage}/source.stamp)
set(prepared "")
if(EXISTS ${stamp})
  file(READ ${stamp} prepared)
endif()

function(ovra_mesos_run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Real Mesos platform: ${what} failed (${result})")
  endif()
endfunction()

if(NOT prepared STREQUAL source_id)
  message(STATUS "Real Mesos platform: preparing the source from ${OVRA_MESOS_SOURCE}")
  file(REMOVE_RECURSE ${tree})
  file(MAKE_DIRECTORY ${tree})
  if(IS_DIRECTORY "${OVRA_MESOS_SOURCE}")
    foreach(part include src/common src/messages src/module src/version
        3rdparty/libprocess 3rdparty/stout)
      get_filename_component(parent ${tree}/${part} DIRECTORY)
      file(COPY ${OVRA_MESOS_SOURCE}/${part} DESTINATION ${parent})
    endforeach()
    file(GLOB bundled ${OVRA_MESOS_SOURCE}/3rdparty/http-parser-*
      ${OVRA_MESOS_SOURCE}/3rdparty/picojson-*.tar.gz)
    file(COPY ${bundled} DESTINATION ${tree}/3rdparty)
  else()
    file(ARCHIVE_EXTRACT INPUT "${OVRA_MESOS_SOURCE}" DESTINATION ${tree})
  endif()

  foreach(required include/mesos/mesos.proto 3rdparty/libprocess/src/process.cpp
      3rdparty/stout/include/stout/json.hpp src/module/manager.cpp
      3rdparty/http-parser-2.6.2.tar.gz 3rdparty/http-parser-2.6.2.patch
      3rdparty/picojson-1.3.0.tar.gz)
    if(NOT EXISTS ${tree}/${required})
      message(FATAL_ERROR
        "OVRA_MESOS_SOURCE '${OVRA_MESOS_SOURCE}' has no ${required}: "
        "give the source of Mesos 1.2.0")
    endif()
  endforeach()

  foreach(bundle http-parser-2.6.2 picojson-1.3.0)
    file(ARCHIVE_EXTRACT INPUT ${tree}/3rdparty/${bundle}.tar.gz
      DESTINATION ${tree}/3rdparty)
  endforeach()
  find_program(PATCH_PROGRAM patch REQUIRED)
  ovra_mesos_run("patching http-parser"
    ${PATCH_PROGRAM} -p1 -s -d ${tree}/3rdparty/http-parser-2.6.2
      -i ${tree}/3rdparty/http-parser-2.6.2.patch)

  # stout as released needs Boost 1.53; the upstream change builds it with
  # Debian's Boost.
  file(READ ${tree}/3rdparty/stout/include/stout/json.hpp json_hpp)
  if(json_hpp MATCHES "boost::recursive_wrapper<Null>")
    if(NOT EXISTS "${OVRA_MESOS_STOUT_PATCH}")
      message(FATAL_ERROR
        "stout in '${OVRA_MESOS_SOURCE}' needs the upstream change for "
        "Boost >= 1.62: give it as OVRA_MESOS_STOUT_PATCH")
    endif()
    ovra_mesos_run("patching stout"
      ${PATCH_PROGRAM} -p1 -s -d ${tree} -i ${OVRA_MESOS_STOUT_PATCH})
  endif()
  file(WRITE ${stamp} "${source_id}")
endif()

# A change to the build of libmesos configures this folder again.
file(GLOB platform_build_files ${CMAKE_CURRENT_LIST_DIR}/mesos/*)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${platform_build_files})

message(STATUS "Real Mesos platform: building libmesos into ${prefix}")
ovra_mesos_run("configuring libmesos"
  ${CMAKE_COMMAND} -G ${CMAKE_GENERATOR}
    -S ${CMAKE_CURRENT_LIST_DIR}/mesos -B ${stage}/build
    -DMESOS_SOURCE_DIR=${tree}
    -DCMAKE_INSTALL_PREFIX=${prefix}
    -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
    -DCMAKE_INSTALL_MESSAGE=NEVER)
ovra_mesos_run("building libmesos"
  ${CMAKE_COMMAND} --build ${stage}/build --target install)

set(OVRA_MESOS_INCLUDE_DIR ${prefix}/include)
set(OVRA_MESOS_LIBRARY_DIR ${prefix}/lib)
set(OVRA_MESOS_3RDPARTY_DIR ${prefix}/lib/mesos/3rdparty)
# The module manager's header and its includes, for the host and the tests.
set(OVRA_MESOS_INTERNAL_INCLUDE_DIR ${prefix}/src-include)
