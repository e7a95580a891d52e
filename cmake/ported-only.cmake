# The modules of TIDEWELL_MODULES and their unit tests; with TIDEWELL_BUILD_GUI, the
# modules of TIDEWELL_GUI_MODULES too, and so the wizard, without their tests.
# On a cross-build, GoogleTest is built from Debian's source (/usr/src/googletest) with
# the cross compiler, and the tests are listed and run through CMAKE_CROSSCOMPILING_EMULATOR.
if(TIDEWELL_BUILD_TESTS)
  enable_testing()
  if(CMAKE_CROSSCOMPILING)
    set(TIDEWELL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source (Debian's googletest)")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(${TIDEWELL_GTEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # Its source defines the GTest:: names itself; its own warnings are not ours to mend.
    foreach(lib gtest gtest_main gmock gmock_main)
      target_compile_options(${lib} PRIVATE -w)
    endforeach()
    # Debian's packages put gmock beside gtest: tests that link gtest use its matchers.
    target_link_libraries(gtest_main PUBLIC gmock)
    # Listing a test program runs it under the emulator: do it when the tests run.
    set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

# nlohmann-json is header-only: on a cross-build its headers alone are copied from the
# build machine, so that no other header of the build machine is seen.
if(CMAKE_CROSSCOMPILING AND NOT TARGET nlohmann_json::nlohmann_json)
  set(nlohmann_headers ${PROJECT_BINARY_DIR}/build-machine-headers)
  file(COPY /usr/include/nlohmann DESTINATION ${nlohmann_headers})
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${nlohmann_headers})
endif()

foreach(module ${TIDEWELL_MODULES})
  add_subdirectory(${module})
endforeach()
if(TIDEWELL_BUILD_GUI)
  foreach(module ${TIDEWELL_GUI_MODULES})
    add_subdirectory(${module})
  endforeach()
endif()

if(TIDEWELL_BUILD_TESTS)
  include(GoogleTest)
  add_subdirectory(tests/support)
  foreach(module ${TIDEWELL_MODULES})
    if(EXISTS ${PROJECT_SOURCE_DIR}/tests/${module}/CMakeLists.txt)
      add_subdirectory(tests/${module})
    endif()
  endforeach()
endif()

# The Windows installer, from the programs made above.
if(WIN32)
  add_subdirectory(dist/windows)
endif()
