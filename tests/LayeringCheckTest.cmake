# The layering check itself: on a scratch tree holding one planted include at a time, it must
# fail for each forbidden include and pass for the allowed ones.
# Run as: cmake -DCHECKER=<LayeringCheck.cmake> -DWORK_DIR=<scratch folder> -P LayeringCheckTest.cmake
cmake_minimum_required(VERSION 3.25)

# file | include line | expected result (FAIL or PASS)
set(cases
  "cli/Planted.cpp|#include \"fusion/SeriesFusion.h\"|FAIL"
  "cli/Planted.cpp|#include <FreeImage.h>|FAIL"
  "cli/Planted.cpp|#include \"app/MainWindow.h\"|FAIL"
  "app/panels/Planted.h|#include \"tone/ToneMap.h\"|FAIL"
  "app/Planted.cpp|#include \"pyramid/Pyramid.h\"|FAIL"
  "app/Planted.cpp|#include \"single/SeriesJobs.h\"|FAIL"
  "app/Planted.cpp|#include \"align/Registration.h\"|FAIL"
  "app/Planted.cpp|#include \"cli/Commands.h\"|FAIL"
  "tone/Planted.h|#include \"fusion/SeriesFusion.h\"|FAIL"
  "tone/Planted.cpp|#include <tbb/parallel_for.h>|FAIL"
  "fusion/Planted.h|  #  include \"single/Exposure.h\"|FAIL"
  "single/Planted.cpp|#include \"jobs/SeriesPipeline.h\"|FAIL"
  "single/Planted.cpp|#include \"settings/Settings.h\"|FAIL"
  "align/Planted.cpp|#include \"tone/ToneMap.h\"|FAIL"
  "pyramid/Planted.cpp|#include \"fusion/FusionAccumulator.h\"|FAIL"
  "picture/Planted.cpp|#include \"settings/Settings.h\"|FAIL"
  "settings/Planted.cpp|#include <picture/SBxPicBuf.h>|FAIL"
  "files/Planted.cpp|#include \"picture/SBxPicBuf.h\"|FAIL"
  "jobs/Planted.cpp|#include \"app/panels/PreviewModel.h\"|FAIL"
  "jobs/Planted.cpp|#include <QString>|FAIL"
  "fusion/Planted.cpp|#include <QImage>|FAIL"
  "cli/Planted.cpp|#include \"jobs/ToneJobs.h\"|PASS"
  "cli/Planted.cpp|#include \"files/AtomicFile.h\"|PASS"
  "app/panels/Planted.cpp|#include \"settings/Parameters.h\"|PASS"
  "app/Planted.cpp|#include <QWidget>|PASS"
  "tone/Planted.cpp|#include \"pyramid/Pyramid.h\"|PASS"
  "align/Planted.cpp|#include \"picture/CBxPicMap.h\"|PASS"
  "jobs/Planted.cpp|#include \"tone/SmartContrast.h\"|PASS"
  "picture/Planted.cpp|#include \"files/AtomicFile.h\"|PASS"
  "picture/Planted.cpp|#include <FreeImage.h>|PASS"
  "files/Planted.cpp|#include <filesystem>|PASS")

set(failures "")
set(index 0)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 file)
  list(GET parts 1 line)
  list(GET parts 2 expected)
  math(EXPR index "${index} + 1")
  set(tree "${WORK_DIR}/layering-${index}")
  file(REMOVE_RECURSE "${tree}")
  file(WRITE "${tree}/${file}" "#pragma once\n${line}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} -P ${CHECKER}
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE said)
  if(result EQUAL 0)
    set(got PASS)
  else()
    set(got FAIL)
    # A failure names the file that broke the rules.
    string(FIND "${said}" "${file}:" named)
    if(named EQUAL -1)
      list(APPEND failures "${file}: ${line}: the failure does not name it:\n${said}")
    endif()
  endif()
  if(NOT got STREQUAL expected)
    list(APPEND failures "${file}: ${line}: expected ${expected}, got ${got}")
  endif()
  file(REMOVE_RECURSE "${tree}")
endforeach()
if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "The layering check misjudged:\n${text}")
endif()
message(STATUS "The layering check judged ${index} planted includes right")
