# What `cmake --install` puts under the prefix, and the Debian package
# (`cpack -G DEB` in the build folder) that holds the same files:
#   lib/libovra_security.so*      the modules (versioned, with SOVERSION)
#   lib/libmesos_platform.so      the host platform the modules link with
#                                 (libmesos.so built from Mesos's source
#                                 with OVRA_MESOS_SOURCE)
#   bin/ovra_host ...             the host and the development services
#   share/ovra_security/examples  modules files and Mesos flags
# Programs find the libraries beside them (RUNPATH $ORIGIN/../lib).

file(RELATIVE_PATH lib_from_bin
  ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})

install(TARGETS ovra_security
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

# The programs, where they are built (on the stand-in, or on a Mesos built
# here from source), with the platform library they run on: the stand-in's,
# or the libmesos built here.
if(TARGET ovra_host)
  set(programs ovra_host ovra_dev_iam ovra_iam_tool ovra_dev_secrets)
  set_target_properties(${programs} PROPERTIES
    INSTALL_RPATH "$ORIGIN/${lib_from_bin}")
  set_target_properties(ovra_security PROPERTIES INSTALL_RPATH "$ORIGIN")
  if(OVRA_REAL_MESOS)
    file(GLOB libmesos "${OVRA_MESOS_LIBRARY_DIR}/libmesos.so*")
    install(FILES ${libmesos} DESTINATION ${CMAKE_INSTALL_LIBDIR})
  else()
    set_target_properties(mesos_platform PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS mesos_platform
      LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  endif()
  install(TARGETS ${programs}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/installed/
    DESTINATION ${CMAKE_INSTALL_DATADIR}/ovra_security/examples)
  install(FILES ${CMAKE_SOURCE_DIR}/examples/iam-users.json
    DESTINATION ${CMAKE_INSTALL_DATADIR}/ovra_security/examples)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ovra-security)
set(CPACK_PACKAGE_VENDOR Corvanta)
set(CPACK_PACKAGE_CONTACT "Corvanta <support@corvanta.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "IAM and secrets modules for Apache Mesos 1.2.0")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# The package holds the programs and libraries without their debug info.
set(CPACK_STRIP_FILES ON)
# The shared libraries of Debian 12 that the libraries and programs link.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, libssl3 (>= 3.0), libprotobuf32 (>= 3.21.12), libgoogle-glog0v6 (>= 0.6.0), libgflags2.2")
include(CPack)
