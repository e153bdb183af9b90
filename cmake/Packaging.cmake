# The Debian packages, made by CPack from the install rules' components (scripts/package.sh):
# one package per component, with dependencies on system libraries found by dpkg-shlibdeps,
# dependencies between our own packages at exactly this version, and the debug information of
# every binary split into a -dbgsym package beside each.
set(NIVEXA_DEB_MAINTAINER "Nivexa SDK maintainers <sdk@nivexa.invalid>")
set(NIVEXA_DEB_RUNTIME libnivexasdk-m7qx-tec${PROJECT_VERSION_MAJOR})

# component:package:section:architecture-independent
set(nivexa_deb_components
  "Runtime:${NIVEXA_DEB_RUNTIME}:libs:0"
  "Development:libnivexasdk-m7qx-tec-dev:libdevel:0"
  "Tools:nivexa-tools:utils:0"
  "Udev:nivexa-udev:admin:1"
  "Python:python3-nivexa:python:1")
if(TARGET NivexaSdkDialogs)
  list(APPEND nivexa_deb_components "Dialogs:nivexa-dialogs-gtk:libs:0")
endif()
if(TARGET gstnivexa)
  list(APPEND nivexa_deb_components "GStreamer:gstreamer1.0-nivexa:video:0")
endif()

# Descriptions: the first line is the synopsis, the others (80 columns at most) the extended text.
string(CONCAT CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "SDK library of the M7QX TEC SWIR camera\n"
  "The shared library with the flat C interface of the M7QX TEC cooled\n"
  "short-wave-infrared USB 3.0 camera: snapshots, previews, buffer streams, image\n"
  "processing, image files and recording, for real cameras through libusb and for\n"
  "built-in virtual cameras. It needs no X libraries: the preview window loads\n"
  "them when one opens.")
string(CONCAT CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "SDK of the M7QX TEC SWIR camera - development files\n"
  "The C headers, the link to the shared library, the pkg-config file NivexaSdk\n"
  "and the CMake package NivexaSdk for building programs against the SDK.")
string(CONCAT CPACK_DEBIAN_TOOLS_DESCRIPTION
  "command-line tool and desktop viewer of the M7QX TEC SWIR camera SDK\n"
  "nivexa lists cameras, takes snapshots, records, streams, shows a live view,\n"
  "changes settings and runs the SDK's compliance scenarios against a camera.\n"
  "nivexa-viewer is a GTK 3 window with the live image, its histogram, the\n"
  "camera's settings and temperature, snapshots, recording and calibration.")
string(CONCAT CPACK_DEBIAN_UDEV_DESCRIPTION
  "udev rule for the M7QX TEC SWIR camera\n"
  "Lets the user at the seat and the members of plugdev open the camera's USB\n"
  "device node, which the SDK reaches through libusb.")
string(CONCAT CPACK_DEBIAN_PYTHON_DESCRIPTION
  "Python access to the M7QX TEC SWIR camera SDK\n"
  "The Python 3 package nivexa: cameras, settings, snapshots and buffer streams\n"
  "as numpy arrays, over the SDK's C interface through ctypes.")
string(CONCAT CPACK_DEBIAN_DIALOGS_DESCRIPTION
  "GTK settings dialogs of the M7QX TEC SWIR camera SDK\n"
  "The GTK 3 view of the SDK's settings dialogs, loaded by the library when an\n"
  "application opens one of them.")
string(CONCAT CPACK_DEBIAN_GSTREAMER_DESCRIPTION
  "GStreamer source element of the M7QX TEC SWIR camera\n"
  "The GStreamer 1.0 plugin with the live source element nivexasrc, which\n"
  "streams the camera's frames through the SDK's buffer streams.")
foreach(component Development Tools Python Dialogs GStreamer)
  string(TOUPPER ${component} upper)
  set(CPACK_COMPONENT_${upper}_DEPENDS Runtime)
endforeach()
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, python3-numpy")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "nivexa-udev, nivexa-dialogs-gtk")
# The loader's cache is refreshed by dpkg's trigger (CPack's own scripts also call ldconfig).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/runtime/triggers)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/python/prerm)
set(CPACK_DEBIAN_UDEV_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_LIST_DIR}/debian/udev/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/udev/postrm)

# What Debian asks of every package: its copyright and its changelog under /usr/share/doc.
set(nivexa_deb_changelog ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog)
string(TIMESTAMP nivexa_deb_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(components "")
foreach(entry ${nivexa_deb_components})
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 component)
  list(GET entry 1 package)
  list(GET entry 2 section)
  list(GET entry 3 independent)
  string(TOUPPER ${component} upper)
  list(APPEND components ${component})
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
  set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION ${section})
  if(independent)
    set(CPACK_DEBIAN_${upper}_PACKAGE_ARCHITECTURE all)
  endif()
  if(NIVEXA_DEBIAN_LAYOUT)
    file(WRITE ${nivexa_deb_changelog}-${component}
      "${package} (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
      "  * Release ${PROJECT_VERSION}: see CHANGELOG.md of the SDK's sources.\n\n"
      " -- ${NIVEXA_DEB_MAINTAINER}  ${nivexa_deb_date}\n")
    execute_process(COMMAND gzip -9nf ${nivexa_deb_changelog}-${component})
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION share/doc/${package}
            RENAME copyright COMPONENT ${component})
    install(FILES ${nivexa_deb_changelog}-${component}.gz DESTINATION share/doc/${package}
            RENAME changelog.gz COMPONENT ${component})
  endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nivexa-sdk)
set(CPACK_PACKAGE_VENDOR Nivexa)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# No package-wide summary: CPack would put it above each package's own synopsis.
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_COMPONENTS_ALL ${components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${NIVEXA_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own library is found in the build tree; dependencies on it are the component ones above.
get_target_property(nivexa_library_dir NivexaSdk_M7QX_TEC BINARY_DIR)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${nivexa_library_dir})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
include(CPack)
