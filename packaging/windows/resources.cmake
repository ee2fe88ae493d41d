# qv_windows_resources(program description): compiles the program's resources
# with windres (the resource compiler of the toolchain) into it: the
# application manifest, the icon under the name the window framework looks
# for, and the version information, all from the project's one version.
set(QV_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR})
function(qv_windows_resources program description)
  set(QV_PROGRAM ${program})
  set(QV_DESCRIPTION ${description})
  set(QV_ICON ${PROJECT_SOURCE_DIR}/packaging/icons/quantview.ico)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${program}_resources)
  set(QV_MANIFEST ${dir}/${program}.manifest)
  configure_file(${QV_WINDOWS_DIR}/program.manifest.in ${QV_MANIFEST} @ONLY)
  configure_file(${QV_WINDOWS_DIR}/program.rc.in ${dir}/${program}.rc @ONLY)
  target_sources(${program} PRIVATE ${dir}/${program}.rc)
  # The icon is not an include, so windres' dependencies miss it.
  set_source_files_properties(${dir}/${program}.rc PROPERTIES
    OBJECT_DEPENDS "${QV_ICON};${QV_MANIFEST}")
  if(MSVC)
    target_link_options(${program} PRIVATE /MANIFEST:NO)  # the resource holds it
  endif()
endfunction()
