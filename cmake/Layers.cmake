# The module's folders are layers: hostkit <- panels <- exrio <- export, with
# module/'s headers (registry, tags, version) below them all. Each layer is
# a library whose include root shows only its own folder, so that including
# a folder the layer may not use fails to compile: a layer sees a folder
# only by linking the library that owns it.

set(RAVELCAST_LAYER_ROOT ${CMAKE_BINARY_DIR}/layers)

# ravelcast_layer_root(TARGET FOLDER): gives TARGET an include root holding
# FOLDER alone (a link to the source folder), public to what links TARGET.
function(ravelcast_layer_root target folder)
  set(root ${RAVELCAST_LAYER_ROOT}/${folder})
  if(NOT IS_SYMLINK ${root}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# Only hostkit/ and module/ talk to the host's C interfaces; the layers above
# go through hostkit. Checked on every build over the layers' sources.
file(GLOB_RECURSE RAVELCAST_LAYER_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/export/*.cpp ${PROJECT_SOURCE_DIR}/export/*.h
  ${PROJECT_SOURCE_DIR}/exrio/*.cpp ${PROJECT_SOURCE_DIR}/exrio/*.h
  ${PROJECT_SOURCE_DIR}/panels/*.cpp ${PROJECT_SOURCE_DIR}/panels/*.h)
add_custom_command(OUTPUT ${RAVELCAST_LAYER_ROOT}/host-includes.checked
  COMMAND ${CMAKE_COMMAND} -DSTAMP=${RAVELCAST_LAYER_ROOT}/host-includes.checked
          -DROOT=${PROJECT_SOURCE_DIR} "-DFOLDERS=export;exrio;panels"
          -P ${PROJECT_SOURCE_DIR}/cmake/CheckHostIncludes.cmake
  DEPENDS ${RAVELCAST_LAYER_SOURCES} ${PROJECT_SOURCE_DIR}/cmake/CheckHostIncludes.cmake
  COMMENT "Checking that export/, exrio/ and panels/ reach the host only through hostkit"
  VERBATIM)
add_custom_target(ravelcast_host_includes DEPENDS ${RAVELCAST_LAYER_ROOT}/host-includes.checked)
