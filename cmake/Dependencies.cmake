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

# ovra_generate_protos(target import_root proto...): compiles the .proto
# files into the target. Generated headers keep the path of the .proto
# below import_root, so <mesos/mesos.pb.h> and "common/sentrel.pb.h" work.
function(ovra_generate_protos target import_root)
  set(out_dir ${CMAKE_BINARY_DIR}/generated)
  file(MAKE_DIRECTORY ${out_dir})
  foreach(proto ${ARGN})
    file(RELATIVE_PATH rel ${import_root} ${proto})
    string(REGEX REPLACE "\\.proto$" "" stem ${rel})
    set(cc ${out_dir}/${stem}.pb.cc)
    set(h ${out_dir}/${stem}.pb.h)
    add_custom_command(
      OUTPUT ${cc} ${h}
      COMMAND protobuf::protoc
        --cpp_out=${out_dir}
        -I${import_root}
        -I${CMAKE_SOURCE_DIR}/platform/proto
        ${proto}
      DEPENDS ${proto} protobuf::protoc
      COMMENT "protoc ${rel}"
      VERBATIM)
    target_sources(${target} PRIVATE ${cc} ${h})
    # Generated code is not ours to keep warning-free.
    set_source_files_properties(${cc} PROPERTIES COMPILE_OPTIONS "-Wno-error")
  endforeach()
  target_include_directories(${target} PUBLIC ${out_dir})
endfunction()
