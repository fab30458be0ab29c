# Checks the includes of src/ and testserver/ against the layers of docs/architecture.md:
# a folder includes only from folders listed above it in the table (or from itself), a
# Core folder includes no Widgets folder and no Qt header outside Qt Core and Qt D-Bus,
# and every folder with sources is in the table. Prints every breach, naming the file and
# the include, and fails when there is one.
#
#   cmake -DSOURCE_DIR=<repository> "-DQT_CORE_DIRS=<dir>;<dir>" -P check_layers.cmake

cmake_minimum_required(VERSION 3.25)

file(STRINGS "${SOURCE_DIR}/docs/architecture.md" rows REGEX "^\\| [^|]+ \\| `[^`]+` \\|")
set(rank 0)
foreach(row IN LISTS rows)
  string(REGEX MATCH "^\\| [^|]+ \\| `([^`]+)` \\| ([A-Za-z]+) \\|" _ "${row}")
  set(folder "${CMAKE_MATCH_1}")
  set(kind "${CMAKE_MATCH_2}") # before the next MATCHES overwrites it
  if(NOT folder MATCHES "^testserver")
    set(folder "src/${folder}")
  endif()
  math(EXPR rank "${rank} + 1")
  set(rank_${folder} ${rank})
  set(kind_${folder} "${kind}")
endforeach()

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp"
     "${SOURCE_DIR}/testserver/*.h" "${SOURCE_DIR}/testserver/*.cpp")

# The test server's headers go by their names alone: where each name lives.
foreach(source IN LISTS sources)
  if(source MATCHES "^testserver/")
    get_filename_component(name "${source}" NAME)
    get_filename_component(dir "${source}" DIRECTORY)
    list(APPEND where_${name} "${dir}")
  endif()
endforeach()

set(breaches 0)
macro(breach text)
  message("${text}")
  math(EXPR breaches "${breaches} + 1")
endmacro()

foreach(source IN LISTS sources)
  get_filename_component(folder "${source}" DIRECTORY)
  if(NOT DEFINED rank_${folder})
    if(NOT reported_${folder})
      breach("${folder}: a folder with sources that docs/architecture.md does not place")
      set(reported_${folder} TRUE)
    endif()
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^#include [\"<]")
  foreach(line IN LISTS includes)
    if(line MATCHES "^#include \"([^\"]+)\"")
      set(included "${CMAKE_MATCH_1}")
      set(target "")
      if(EXISTS "${SOURCE_DIR}/src/${included}" AND source MATCHES "^src/")
        get_filename_component(target "src/${included}" DIRECTORY)
      elseif(source MATCHES "^testserver/")
        get_filename_component(name "${included}" NAME)
        list(LENGTH where_${name} count)
        if(count EQUAL 1)
          set(target "${where_${name}}")
        endif()
      endif()
      if(target STREQUAL "" OR target STREQUAL folder)
        continue()
      endif()
      if(NOT DEFINED rank_${target})
        continue() # a folder without a place is reported once, above
      endif()
      if(NOT rank_${target} LESS rank_${folder})
        breach("${source}: #include \"${included}\": ${folder} may not include ${target}, which is not below it")
      elseif(kind_${folder} STREQUAL "Core" AND kind_${target} STREQUAL "Widgets")
        breach("${source}: #include \"${included}\": ${folder} is Core, ${target} is Widgets")
      endif()
    elseif(line MATCHES "^#include <(Q[A-Za-z0-9_]*)>" AND kind_${folder} STREQUAL "Core")
      set(header "${CMAKE_MATCH_1}")
      set(found FALSE)
      foreach(dir IN LISTS QT_CORE_DIRS)
        if(EXISTS "${dir}/${header}")
          set(found TRUE)
        endif()
      endforeach()
      if(NOT found)
        breach("${source}: #include <${header}>: ${folder} is Core and may use Qt Core and Qt D-Bus only")
      endif()
    endif()
  endforeach()
endforeach()

if(breaches GREATER 0)
  message(FATAL_ERROR "${breaches} include(s) break the layers of docs/architecture.md")
endif()
message(STATUS "The includes of src/ and testserver/ keep the layers of docs/architecture.md")
