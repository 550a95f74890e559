# Every dependency is a Debian package (scripts/install-deps.sh installs them).
find_package(Threads REQUIRED)
find_package(Protobuf REQUIRED)
find_package(glog REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(Boost 1.74 REQUIRED)
find_path(PICOJSON_INCLUDE_DIR picojson.h REQUIRED)
if(OVRA_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(OVRA_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()

# ovra_generate_protos(target): generates the C++ of the target's .proto
# sources with CMake's protobuf_generate, into a "generated" folder beside
# the calling folder's build output. protobuf_generate names each file
# after its path below the calling folder, so that folder must be the
# protos' import root: "common/sentrel.proto" becomes "common/sentrel.pb.h".
# Mesos's own protos are imported from OVRA_PROTO_IMPORT_DIR.
function(ovra_generate_protos target)
  set(out_dir ${CMAKE_CURRENT_BINARY_DIR}/generated)
  file(MAKE_DIRECTORY ${out_dir})
  protobuf_generate(TARGET ${target} LANGUAGE cpp
    PROTOC_OUT_DIR ${out_dir}
    IMPORT_DIRS ${OVRA_PROTO_IMPORT_DIR}
    OUT_VAR generated)
  # Generated code is not ours to keep warning-free.
  foreach(file ${generated})
    if(file MATCHES "\\.cc$")
      set_source_files_properties(${file} PROPERTIES COMPILE_OPTIONS "-Wno-error")
    endif()
  endforeach()
  target_include_directories(${target} PUBLIC ${out_dir})
endfunction()
