# Keeps the include graph the shape of the layers: run as
#   cmake -DNIVEXA_ROOT=<source tree> -P IncludeLayers.cmake
# Every `#include "..."` of src/ must name a header of the file's own layer, of a layer the table
# below lets it use, or of include/ (the public headers, which every layer may see). Programs
# outside the library (tools/, examples/ and the clients to come) see include/ and their own
# folder only. Each offence is reported with file, line and include; any offence fails the run.

cmake_minimum_required(VERSION 3.20)

if(NOT NIVEXA_ROOT)
  message(FATAL_ERROR "IncludeLayers.cmake: set NIVEXA_ROOT to the source tree")
endif()

# The layers a layer may include, besides itself. Top to bottom: api, camera, engine, sensors,
# transport, transport/drivers; the side branches imaging, output, settings, dialogs and stream
# (the buffer queue of buffer streams) serve the camera; sim is the virtual hardware behind the drivers; family is the product table; platform
# is under everything and includes nothing of src.
set(uses_platform "")
set(uses_family platform)
set(uses_sim platform)
# A USB backend lists only the devices whose product the family table knows.
set(uses_transport/drivers platform family sim)
set(uses_transport platform family transport/drivers)
set(uses_sensors platform family transport)
# The engine's own operations speak the driver boundary's vocabulary (interface GUID, device
# handles, error numbers) besides driving the controller and the sensors.
set(uses_engine platform family sensors transport transport/drivers)
set(uses_imaging platform)
set(uses_output platform imaging)
set(uses_settings platform)
set(uses_dialogs platform settings)
set(uses_stream "")
set(uses_camera platform family engine imaging output settings dialogs stream)
# The device catalogue (the products the library drives, virtual cameras on request) belongs to
# no camera: its two exports ask the engine directly.
set(uses_api platform camera engine)
set(library_layers platform family sim transport/drivers transport sensors engine imaging output
    settings dialogs stream camera api)

# Known debts: includes of src/ headers by programs that should see include/ only. Each entry is
# "<file>|<include>"; a new one fails until the public interface offers what it needs.
set(client_debts
    # The internal diagnostic program prints the family and settings tables from the libraries
    # the SDK is built from; it is not installed for applications.
    "tools/diag/main.cpp|engine/FamilyReport.h"
    "tools/diag/main.cpp|settings/SettingsReport.h"
    # The compliance scenarios' view of their own process (open files, threads, mappings,
    # memory), which is no camera's business and not the library's to export.
    "tools/nivexa/compliance/ResourceScenarios.cpp|platform/ResourceUse.h")
set(client_folders tools examples python gst)

set(offences "")
set(debts_seen "")

# The layer of a path below src/ ("transport/drivers/Fx3Driver.h" -> transport/drivers); empty
# when the path is in no layer the table knows.
function(layer_of path out)
  if(path MATCHES "^transport/drivers/")
    set(${out} transport/drivers PARENT_SCOPE)
  elseif(path MATCHES "^([^/]+)/")
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# The quoted includes of a file, as "<line>|<include>" entries.
function(quoted_includes file out)
  file(STRINGS ${file} lines)
  set(found "")
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
      list(APPEND found "${number}|${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE sources RELATIVE ${NIVEXA_ROOT}/src
     ${NIVEXA_ROOT}/src/*.h ${NIVEXA_ROOT}/src/*.hpp ${NIVEXA_ROOT}/src/*.cpp ${NIVEXA_ROOT}/src/*.c)
foreach(source IN LISTS sources)
  layer_of(${source} own)
  if(NOT own IN_LIST library_layers)
    list(APPEND offences "src/${source}: in no layer; add its folder to IncludeLayers.cmake")
    continue()
  endif()
  quoted_includes(${NIVEXA_ROOT}/src/${source} includes)
  foreach(entry IN LISTS includes)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 line)
    list(GET parts 1 header)
    if(NOT EXISTS ${NIVEXA_ROOT}/src/${header})
      continue()  # a public header, or one beside the file
    endif()
    layer_of(${header} target)
    if(target STREQUAL own OR target IN_LIST uses_${own})
      continue()
    endif()
    list(APPEND offences "src/${source}:${line}: includes \"${header}\": ${own} may not use ${target}")
  endforeach()
endforeach()

foreach(folder IN LISTS client_folders)
  if(NOT IS_DIRECTORY ${NIVEXA_ROOT}/${folder})
    continue()
  endif()
  file(GLOB_RECURSE clients RELATIVE ${NIVEXA_ROOT} ${NIVEXA_ROOT}/${folder}/*.h
       ${NIVEXA_ROOT}/${folder}/*.hpp ${NIVEXA_ROOT}/${folder}/*.cpp ${NIVEXA_ROOT}/${folder}/*.c)
  foreach(client IN LISTS clients)
    quoted_includes(${NIVEXA_ROOT}/${client} includes)
    foreach(entry IN LISTS includes)
      string(REPLACE "|" ";" parts "${entry}")
      list(GET parts 0 line)
      list(GET parts 1 header)
      if(NOT EXISTS ${NIVEXA_ROOT}/src/${header})
        continue()
      endif()
      if("${client}|${header}" IN_LIST client_debts)
        list(APPEND debts_seen "${client}|${header}")
        continue()
      endif()
      list(APPEND offences
           "${client}:${line}: includes \"${header}\": programs outside the library use include/ only")
    endforeach()
  endforeach()
endforeach()

# A debt paid off leaves the list, so that it cannot come back unnoticed.
foreach(debt IN LISTS client_debts)
  if(NOT debt IN_LIST debts_seen)
    list(APPEND offences "known debt ${debt} is gone: remove it from IncludeLayers.cmake")
  endif()
endforeach()

if(offences)
  # One line each, unwrapped, so that an editor can jump to them.
  foreach(offence IN LISTS offences)
    message(NOTICE "${offence}")
  endforeach()
  list(LENGTH offences count)
  message(FATAL_ERROR "${count} includes against the layers")
endif()
message(STATUS "Includes keep to the layers")
