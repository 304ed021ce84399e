# Installs Trelvan as a library a host finds with CMake or pkg-config:
#   lib/libtrelvan.so.2 (SONAME) and its development symlink,
#   include/trelvan/*.h       the public headers, flat: #include <trelvan/Trelvan.h>
#   lib/cmake/Trelvan/        find_package(Trelvan 2.0) -> Trelvan::trelvan
#   lib/pkgconfig/trelvan.pc
#   bin/tvnsh, bin/trelvan-studio
# and makes Debian packages of it with CPack (scripts/package): trelvan (the
# library and tvnsh), trelvan-dev (headers, CMake package, pkg-config file) and
# trelvan-studio.
#
# The public headers are the few a host needs. In the source tree they include
# each other by subsystem path ("control/KiteTail.h"); the installed copies are
# made at configure time with those includes rewritten to <trelvan/KiteTail.h>.
# A public header that includes a header outside this list stops the configure
# step, so nothing private (and nothing of FFmpeg or ALSA) leaks into a host's
# build.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The public headers are exactly the interface the library exports: the
# control (its class, its properties, the widget it is built on), its listener,
# the error and value types, the clip probe, the media runtime set-up and the
# motion companion with the value types of its results; and the generated
# export header they use. Everything else is private and hidden in the library.
set(TRELVAN_PUBLIC_HEADERS
  control/Trelvan.h
  control/ControlProperties.h
  control/TrelvanListener.h
  control/ControlWidget.h
  control/KiteTail.h
  control/ClipProbe.h
  media/MediaRuntime.h
  core/TvnError.h
  core/Collection.h
  core/Picture.h
  # The currency of the documented interface: bitmap handles and twips.
  core/BitmapTable.h
  core/Twips.h
  # The motion companion Trelvan::motion() hands out, and the value types of its results.
  motion/MotionAnalysis.h
  motion/Calibration.h
  motion/Kinematics.h
  motion/Track.h
  # The video-export companion Trelvan::videoExport() hands out.
  export/VideoExport.h
  # The analysis-document companion Trelvan::analysis() hands out, and its value types.
  analysis/Analysis.h
  analysis/ClipFingerprint.h
  analysis/KeyMoment.h
)
# Made by generate_export_header in the top-level CMakeLists.txt.
set(TRELVAN_GENERATED_PUBLIC_HEADERS core/TrelvanExport.h)

set(public_dir "${CMAKE_BINARY_DIR}/include/trelvan")
set(installed_headers "")
foreach(header ${TRELVAN_PUBLIC_HEADERS})
  set(source "${CMAKE_SOURCE_DIR}/src/${header}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
  file(READ "${source}" text)
  string(REGEX MATCHALL "#include \"[^\"]+\"" includes "${text}")
  foreach(line ${includes})
    string(REGEX REPLACE "#include \"([^\"]+)\"" "\\1" included "${line}")
    if(NOT included IN_LIST TRELVAN_PUBLIC_HEADERS AND NOT included IN_LIST TRELVAN_GENERATED_PUBLIC_HEADERS)
      message(FATAL_ERROR "public header ${header} includes ${included}, which is not public; "
        "make it public in cmake/TrelvanInstall.cmake or keep it out of ${header}")
    endif()
    get_filename_component(name "${included}" NAME)
    string(REPLACE "${line}" "#include <trelvan/${name}>" text "${text}")
  endforeach()
  get_filename_component(name "${header}" NAME)
  file(CONFIGURE OUTPUT "${public_dir}/${name}" CONTENT "${text}" @ONLY)
  list(APPEND installed_headers "${public_dir}/${name}")
endforeach()
foreach(header ${TRELVAN_GENERATED_PUBLIC_HEADERS})
  list(APPEND installed_headers "${TRELVAN_GENERATED_INCLUDE_DIR}/${header}")
endforeach()

set_target_properties(trelvan PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}
  EXPORT_NAME trelvan)
target_include_directories(trelvan INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# Installed programs find the library beside them (bin/../lib), wherever the prefix is.
set_target_properties(tvnsh trelvan-studio PROPERTIES
  INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

install(TARGETS trelvan EXPORT TrelvanTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(FILES ${installed_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/trelvan COMPONENT dev)
# The analysis documents' JSON Schema, for programs that read what coaches saved.
install(FILES "${CMAKE_SOURCE_DIR}/share/analysis.schema.json" DESTINATION ${CMAKE_INSTALL_DATADIR}/trelvan COMPONENT runtime)
install(EXPORT TrelvanTargets NAMESPACE Trelvan:: FILE TrelvanTargets.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Trelvan COMPONENT dev)
configure_package_config_file(cmake/TrelvanConfig.cmake.in
  "${CMAKE_BINARY_DIR}/TrelvanConfig.cmake"
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Trelvan)
write_basic_package_version_file("${CMAKE_BINARY_DIR}/TrelvanConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_BINARY_DIR}/TrelvanConfig.cmake" "${CMAKE_BINARY_DIR}/TrelvanConfigVersion.cmake"
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Trelvan COMPONENT dev)
configure_file(cmake/trelvan.pc.in "${CMAKE_BINARY_DIR}/trelvan.pc" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/trelvan.pc" DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
install(TARGETS tvnsh RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(TARGETS trelvan-studio RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT studio)

# Debian packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trelvan)
set(CPACK_PACKAGE_VENDOR "Trelvan")
set(CPACK_PACKAGE_CONTACT "Trelvan developers <dev@trelvan.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Embeddable video-analysis control for sports coaching (Qt 6, FFmpeg)")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev studio)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The studio and tvnsh link the library of the trelvan package itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME trelvan)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME trelvan-dev)
set(CPACK_DEBIAN_STUDIO_PACKAGE_NAME trelvan-studio)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "trelvan (= ${PROJECT_VERSION}), qt6-base-dev")
set(CPACK_DEBIAN_STUDIO_PACKAGE_DEPENDS "trelvan (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION "Trelvan development files: headers, CMake package and pkg-config file")
set(CPACK_COMPONENT_STUDIO_DESCRIPTION "Trelvan studio: a video-analysis application for coaches")
include(CPack)
