# Fails when a lower layer includes a header of a layer above it: the engines and the
# picture and settings libraries never see Qt, the desktop program, the job layer or the
# command line; the job layer never sees Qt or a front end.
# Run as: cmake -DSOURCE_DIR=<repository root> -P LayeringCheck.cmake
set(rules
  "picture|app/|cli/|jobs/|fusion/|single/|tone/|settings/|skin/|Q[A-Za-z]+>|<Qt"
  "settings|app/|cli/|jobs/|fusion/|single/|tone/|skin/|Q[A-Za-z]+>|<Qt"
  "fusion|app/|cli/|jobs/|single/|tone/|settings/|skin/|Q[A-Za-z]+>|<Qt"
  "single|app/|cli/|jobs/|fusion/|tone/|settings/|skin/|Q[A-Za-z]+>|<Qt"
  "tone|app/|cli/|jobs/|single/|settings/|skin/|Q[A-Za-z]+>|<Qt"
  "align|app/|cli/|jobs/|fusion/|single/|tone/|settings/|skin/|Q[A-Za-z]+>|<Qt"
  "jobs|app/|cli/|skin/|Q[A-Za-z]+>|<Qt")
set(failures "")
foreach(rule IN LISTS rules)
  string(FIND "${rule}" "|" bar)
  string(SUBSTRING "${rule}" 0 ${bar} folder)
  math(EXPR rest "${bar} + 1")
  string(SUBSTRING "${rule}" ${rest} -1 forbidden)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^#include")
    foreach(line IN LISTS includes)
      if(line MATCHES "#include [<\"](${forbidden})")
        list(APPEND failures "${source}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "Layering broken:\n${text}")
endif()
message(STATUS "Layering kept")
