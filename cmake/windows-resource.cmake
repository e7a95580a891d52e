# tidewell_windows_resource(TARGET DESCRIPTION [EXTRA text]): gives a Windows program its
# icon and version resource. Nothing on other platforms.
function(tidewell_windows_resource target description)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "EXTRA" "")
  set(TIDEWELL_RC_PROGRAM ${target})
  set(TIDEWELL_RC_DESCRIPTION ${description})
  set(TIDEWELL_RC_EXTRA "${arg_EXTRA}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows-resource.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS
               ${PROJECT_SOURCE_DIR}/resources/art/tidewell.ico)
endfunction()
