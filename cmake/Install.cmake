# What `cmake --install` puts under the prefix: the shared library with its soname, the public
# headers, the nivexa tool, a pkg-config file and the CMake package NivexaSdk, whose imported
# target NivexaSdk::NivexaSdk_M7QX_TEC carries the include directory. Each rule names the
# component, and so the Debian package, its files belong to (cmake/Packaging.cmake).
include(CMakePackageConfigHelpers)

set(NIVEXA_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/NivexaSdk)

install(TARGETS NivexaSdk_M7QX_TEC EXPORT NivexaSdkTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# Every public header; the Linux-only one (X11 window handles) stays out of the Windows
# installation.
if(WIN32)
  set(nivexa_public_headers ${PROJECT_SOURCE_DIR}/include/NivexaSdk.h
                            ${PROJECT_SOURCE_DIR}/include/NivexaStream.h
                            ${PROJECT_SOURCE_DIR}/include/NivexaDevices.h
                            ${PROJECT_SOURCE_DIR}/include/NivexaMessages.h)
else()
  file(GLOB nivexa_public_headers ${PROJECT_SOURCE_DIR}/include/*.h)
endif()
install(FILES ${nivexa_public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT Development)

if(TARGET nivexa)
  install(TARGETS nivexa RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Tools)
  if(NOT WIN32)
    # Manual pages are installed compressed, as man finds them and Debian wants them.
    set(nivexa_manual ${PROJECT_SOURCE_DIR}/docs/man/nivexa.1)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${nivexa_manual})
    execute_process(COMMAND gzip -9nc ${nivexa_manual}
                    OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/nivexa.1.gz COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/nivexa.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT Tools)
  endif()
endif()

# The desktop viewer goes with the command-line tool, with its launcher entry for the desktop's
# menus.
if(TARGET nivexa-viewer)
  install(TARGETS nivexa-viewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Tools)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/viewer/nivexa-viewer.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT Tools)
endif()

# The dialogs' GTK module is looked for beside the library, which loads it on the first dialog;
# Debian packages keep it in a folder of the SDK's own there, out of the loader's path.
if(TARGET NivexaSdkDialogs)
  set(nivexa_dialogs_dir ${CMAKE_INSTALL_LIBDIR})
  if(NIVEXA_DEBIAN_LAYOUT)
    set(nivexa_dialogs_dir ${CMAKE_INSTALL_LIBDIR}/nivexa-sdk)
  endif()
  install(TARGETS NivexaSdkDialogs LIBRARY DESTINATION ${nivexa_dialogs_dir} COMPONENT Dialogs)
endif()

install(EXPORT NivexaSdkTargets NAMESPACE NivexaSdk:: DESTINATION ${NIVEXA_CMAKE_PACKAGE_DIR}
        COMPONENT Development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/NivexaSdkConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/NivexaSdkConfig.cmake INSTALL_DESTINATION ${NIVEXA_CMAKE_PACKAGE_DIR})
# The soname changes with the major version, so only the same major version is compatible.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/NivexaSdkConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/NivexaSdkConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/NivexaSdkConfigVersion.cmake
        DESTINATION ${NIVEXA_CMAKE_PACKAGE_DIR} COMPONENT Development)

# The pkg-config file finds the prefix from its own place, so an installation moved elsewhere,
# or made with `cmake --install --prefix`, still describes itself correctly.
set(NIVEXA_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(NIVEXA_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
  set(NIVEXA_PC_LIBDIR ${CMAKE_INSTALL_FULL_LIBDIR})
  set(NIVEXA_PC_INCLUDEDIR ${CMAKE_INSTALL_FULL_INCLUDEDIR})
else()
  file(RELATIVE_PATH nivexa_pc_up /root/${NIVEXA_PKGCONFIG_DIR} /root)
  string(REGEX REPLACE "/$" "" nivexa_pc_up "${nivexa_pc_up}")
  set(NIVEXA_PC_PREFIX "\${pcfiledir}/${nivexa_pc_up}")
  set(NIVEXA_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(NIVEXA_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/NivexaSdk.pc.in ${CMAKE_CURRENT_BINARY_DIR}/NivexaSdk.pc
               @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/NivexaSdk.pc DESTINATION ${NIVEXA_PKGCONFIG_DIR}
        COMPONENT Development)

# Linux: the rule that gives the user's session access to the camera's USB device node. Installed
# under the prefix's lib/udev/rules.d, which is where udev looks for a /usr prefix.
if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/udev/70-nivexa-camera.rules DESTINATION lib/udev/rules.d
          COMPONENT Udev)
endif()
