# zantrel_windows_resources(target description): links the manifest (UTF-8
# code page, common controls 6, DPI awareness) and a version resource into a
# Windows program.
function(zantrel_windows_resources target description)
  set(ZANTREL_PROGRAM ${target})
  set(ZANTREL_DESCRIPTION "${description}")
  set(ZANTREL_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(ZANTREL_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(dir ${CMAKE_BINARY_DIR}/windows/${target})
  set(ZANTREL_MANIFEST ${dir}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/zantrel.manifest ${ZANTREL_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/program.rc.in ${dir}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${dir}/${target}.rc)
endfunction()
