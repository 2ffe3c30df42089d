# Turns a coating data file (CSV) into a C++ source defining surf::CoatingTable.
#
#   cmake -DINPUT=<file.csv> -DOUTPUT=<table.cpp> -P embed_table.cmake
#
# Runs at build time with CMake alone, so it works unchanged when cross-compiling. The numbers
# are copied as the file writes them: the compiler reads each decimal literal to the nearest
# double, exactly as a correctly rounding strtod does. The file is checked as it is read, and a
# fault stops the build with "<file>:<line>: <what is wrong>".

cmake_minimum_required(VERSION 3.20)

if(NOT DEFINED INPUT OR NOT DEFINED OUTPUT)
  message(FATAL_ERROR "usage: cmake -DINPUT=<file.csv> -DOUTPUT=<table.cpp> -P embed_table.cmake")
endif()
if(NOT EXISTS "${INPUT}")
  message(FATAL_ERROR "${INPUT}: coating data file not found")
endif()

set(header "wavelength,incidence,azimuth,rs,rp,rEigen1,rEigen2,rAxis,rExtra,ts,tp,tEigen1,tEigen2,tAxis,tExtra")
string(REPLACE "," ";" column_names "${header}")
set(wavelengths 0.4 0.41 0.42 0.43 0.44 0.45 0.46 0.47 0.48 0.49 0.5 0.51 0.52 0.53 0.54 0.55
                0.56 0.57 0.58 0.59 0.6 0.61 0.62 0.63 0.64 0.65 0.66 0.67 0.68 0.69 0.7)
set(incidences 0 5 10 15 20 25 30 35 40 45 50 55 60 65 70 75 80 85 89)
set(azimuths 0 5 10 15 20 25 30 35 40 45 50 55 60 65 70 75 80 85 90)
set(sample_count 11191)

# A decimal number as strtod reads it, without inf, nan, hexadecimal or surrounding spaces.
set(number_regex "^[-+]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][-+]?[0-9]+)?$")

function(fail line what)
  message(FATAL_ERROR "${INPUT}:${line}: ${what}")
endfunction()

# Canonical text of a grid value, so that 0.40, 0.4 and +0.400 all name the same grid point.
function(canonical_grid_text text out_var)
  string(REGEX REPLACE "^[+]" "" text "${text}")
  if(text MATCHES "[.]")
    string(REGEX REPLACE "0+$" "" text "${text}")
    string(REGEX REPLACE "[.]$" "" text "${text}")
  endif()
  string(REGEX REPLACE "^0+([0-9])" "\\1" text "${text}")
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# Spreadsheets often start a saved CSV with a UTF-8 byte-order mark; it is not part of the header.
file(READ "${INPUT}" first_bytes LIMIT 3 HEX)
if(first_bytes STREQUAL "efbbbf")
  file(READ "${INPUT}" content OFFSET 3)
else()
  file(READ "${INPUT}" content)
endif()
string(REPLACE "\r\n" "\n" content "${content}")
if(content MATCHES ";|\\[|\\]")
  string(REGEX MATCH "^[^;[]*" before "${content}")
  string(REGEX MATCHALL "\n" breaks "${before}")
  list(LENGTH breaks line)
  math(EXPR line "${line} + 1")
  fail(${line} "unexpected character (only numbers separated by commas are allowed)")
endif()
string(REGEX REPLACE "\n$" "" content "${content}")
if(content STREQUAL "")
  fail(1 "empty file; line 1 must be the header '${header}'")
endif()
string(REPLACE "\n" ";" lines "${content}")
list(LENGTH lines line_count)

list(GET lines 0 first)
if(NOT first STREQUAL header)
  fail(1 "header must be exactly '${header}' but is '${first}'")
endif()

# Rows are walked once, in order; the expected grid point advances with them, azimuth fastest.
set(body "")
set(line 0)
set(iw 0)
set(ii 0)
set(ia 0)
foreach(row IN LISTS lines)
  math(EXPR line "${line} + 1")
  if(line EQUAL 1)
    continue()
  endif()
  if(iw EQUAL 31)
    fail(${line} "extra row after the last sample (0.70, 89, 90); the table has exactly ${sample_count}")
  endif()
  list(GET wavelengths ${iw} want_w)
  list(GET incidences ${ii} want_i)
  list(GET azimuths ${ia} want_a)
  if(row STREQUAL "")
    fail(${line} "empty line")
  endif()
  # A leading, trailing or doubled comma leaves an empty field, which the list would drop.
  if(row MATCHES ",$|^,|,,")
    fail(${line} "empty field")
  endif()
  string(REPLACE "," ";" fields "${row}")
  list(LENGTH fields field_count)
  if(NOT field_count EQUAL 15)
    fail(${line} "${field_count} fields, 15 expected")
  endif()
  set(column 0)
  foreach(field IN LISTS fields)
    if(NOT field MATCHES "${number_regex}")
      list(GET column_names ${column} name)
      fail(${line} "column ${name}: '${field}' is not a number")
    endif()
    # A three-digit exponent, or a value written with more digits than any double needs, could
    # overflow a double or vanish into a subnormal; no coating value needs either.
    string(LENGTH "${field}" field_length)
    if(field_length GREATER 32)
      list(GET column_names ${column} name)
      fail(${line} "column ${name}: a value of ${field_length} characters; at most 32 are needed for any double")
    endif()
    if(CMAKE_MATCH_2 MATCHES "[0-9][0-9][0-9]")
      list(GET column_names ${column} name)
      fail(${line} "column ${name}: '${field}' has a three-digit exponent; values must lie within 1e-99 .. 1e99")
    endif()
    math(EXPR column "${column} + 1")
  endforeach()
  list(GET fields 0 w)
  list(GET fields 1 i)
  list(GET fields 2 a)
  canonical_grid_text("${w}" w)
  canonical_grid_text("${i}" i)
  canonical_grid_text("${a}" a)
  if(NOT w STREQUAL want_w OR NOT i STREQUAL want_i OR NOT a STREQUAL want_a)
    fail(${line} "grid point (wavelength ${w}, incidence ${i}, azimuth ${a}) out of place: table order needs (${want_w}, ${want_i}, ${want_a}) here")
  endif()
  # Written as floating literals: a bare integer such as -0 would otherwise be the integer
  # zero (+0.0, where strtod gives -0.0), and a long one might not fit an integer type.
  list(SUBLIST fields 3 12 values)
  list(TRANSFORM values REPLACE "^([-+]?[0-9]+)$" "\\1.0")
  string(JOIN ", " values ${values})
  string(APPEND body "    ${values},  // line ${line}\n")
  math(EXPR ia "${ia} + 1")
  if(ia EQUAL 19)
    set(ia 0)
    math(EXPR ii "${ii} + 1")
    if(ii EQUAL 19)
      set(ii 0)
      math(EXPR iw "${iw} + 1")
    endif()
  endif()
endforeach()

if(NOT iw EQUAL 31)
  list(GET wavelengths ${iw} want_w)
  list(GET incidences ${ii} want_i)
  list(GET azimuths ${ia} want_a)
  math(EXPR have "${line} - 1")
  math(EXPR next "${line} + 1")
  fail(${next} "file ends after ${have} sample rows; ${sample_count} are needed (next: wavelength ${want_w}, incidence ${want_i}, azimuth ${want_a})")
endif()

get_filename_component(source_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${source_name} at build time; edit the data file, not this one.
#include \"coating/table.h\"

namespace surf {

const double CoatingTable[kTableDoubles] = {
${body}};

}  // namespace surf
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
