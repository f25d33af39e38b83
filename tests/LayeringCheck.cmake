# Fails when a source file includes a header its layer may not see (see README, Layout):
#   - the desktop program (app/) and the command line (cli/) reach the engines only through
#     the job layer: they include jobs/, picture/, settings/ and files/, never an engine;
#   - an engine (align/, fusion/, single/, tone/) includes no other engine, only the shared
#     primitives below them (pyramid/, picture/, files/);
#   - picture/ and settings/ include only files/, and files/ nothing of ours;
#   - Qt belongs to app/ and skin/, the image-file libraries to picture/, TBB to fusion/.
# Run as: cmake -DSOURCE_DIR=<repository root> -P LayeringCheck.cmake
cmake_minimum_required(VERSION 3.25)

# Our folders, and for each the folders whose headers its sources may include.
set(ours app cli jobs align fusion single tone pyramid picture settings files skin)
set(may_app app skin jobs picture settings files)
set(may_cli cli jobs picture settings files)
set(may_jobs jobs align fusion single tone pyramid picture settings files)
set(may_align align pyramid picture files)
set(may_fusion fusion pyramid picture files)
set(may_single single pyramid picture files)
set(may_tone tone pyramid picture files)
set(may_pyramid pyramid picture files)
set(may_picture picture files)
set(may_settings settings files)
set(may_files files)
set(may_skin skin)

# Outside libraries, by the headers' names, and the only folders that may include them.
set(libraries qt freeimage tbb)
set(headers_qt "^Q")
set(users_qt app skin)
set(headers_freeimage "^(FreeImage\\.h|tiff|tiffio)")
set(users_freeimage picture)
set(headers_tbb "^(oneapi/)?tbb/")
set(users_tbb fusion align)

set(failures "")
foreach(folder IN LISTS ours)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS includes)
      if(NOT line MATCHES "include[ \t]*[<\"]([^>\"]+)[>\"]")
        continue()
      endif()
      set(header "${CMAKE_MATCH_1}")
      set(broken FALSE)
      if(header MATCHES "^([A-Za-z_]+)/")
        set(top "${CMAKE_MATCH_1}")
        if(top IN_LIST ours AND NOT top IN_LIST may_${folder})
          set(broken TRUE)
        endif()
      endif()
      foreach(library IN LISTS libraries)
        if(header MATCHES "${headers_${library}}" AND NOT folder IN_LIST users_${library})
          set(broken TRUE)
        endif()
      endforeach()
      if(broken)
        file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
        list(APPEND failures "${name}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "Layering broken:\n${text}")
endif()
message(STATUS "Layering kept")
