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

include(${CMAKE_CURRENT_LIST_DIR}/sample_relations.cmake)

# A decimal number as strtod reads it, without inf, nan, hexadecimal or surrounding spaces.
set(number_regex "^[-+]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][-+]?[0-9]+)?$")
# A row in the form the datasets write, which the fast path below converts without looking at
# each field: fifteen plain decimals, no exponent, none of 33 characters or more.
string(REPEAT "-?[0-9]+[.]?[0-9]*," 14 plain_row_regex)
set(plain_row_regex "^${plain_row_regex}-?[0-9]+[.]?[0-9]*$")
string(REPEAT "[-0-9.]" 33 long_field_regex)

# The relations are checked in integers: reflectances, transmittances and eigen-values in units
# of 1e-15, angles in micro-degrees, sines squared in units of 1e-9. Every value is truncated,
# never rounded up, so each bound carries the slack of the truncations it sums.
set(value_scale 15)
set(angle_scale 6)
set(one 1000000000000000)
set(giga 1000000000)

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

# decimal_units(<number> <scale> <out>): the number (as number_regex accepts it) times
# 10^scale, truncated towards zero, as integer text; "overflow" beyond 18 digits. Sets
# <out>_magnitude to the decimal exponent of its leading digit (empty for zero).
function(decimal_units text scale out)
  string(REGEX MATCH "^([-+]?)([0-9]*)[.]?([0-9]*)[eE]?([-+]?)0*([0-9]*)$" ignored "${text}")
  set(sign "${CMAKE_MATCH_1}")
  set(fraction "${CMAKE_MATCH_3}")
  set(exponent_sign "${CMAKE_MATCH_4}")
  set(exponent "${CMAKE_MATCH_5}")
  string(REGEX REPLACE "^0+" "" digits "${CMAKE_MATCH_2}${fraction}")
  if(exponent STREQUAL "")
    set(exponent 0)
  endif()
  if(digits STREQUAL "")
    set(${out} 0 PARENT_SCOPE)
    set(${out}_magnitude "" PARENT_SCOPE)
    return()
  endif()
  string(LENGTH "${digits}" count)
  string(LENGTH "${fraction}" fraction_count)
  string(LENGTH "${exponent}" exponent_digits)
  if(exponent_digits GREATER 9)
    set(exponent 999999999)  # far beyond any bound; keeps the arithmetic below in range
  endif()
  set(exponent "${exponent_sign}${exponent}")
  math(EXPR magnitude "${count} - 1 + ${exponent} - ${fraction_count}")
  math(EXPR shift "${exponent} - ${fraction_count} + ${scale}")
  math(EXPR kept "${count} + ${shift}")
  if(kept GREATER 18)
    set(units overflow)
  elseif(kept LESS_EQUAL 0)
    set(units 0)
  elseif(shift GREATER_EQUAL 0)
    string(REPEAT "0" ${shift} zeros)
    set(units "${digits}${zeros}")
  else()
    string(SUBSTRING "${digits}" 0 ${kept} units)
  endif()
  if(sign STREQUAL "-" AND NOT units STREQUAL "0")
    set(units "-${units}")
  endif()
  set(${out} "${units}" PARENT_SCOPE)
  set(${out}_magnitude "${magnitude}" PARENT_SCOPE)
endfunction()

# sin^2 of an angle in units of 1e-9, to within a few units, is worked out per row below: the
# angle (in micro-degrees) is folded into 0 .. 45 degrees, as sin^2 has period 180, mirrors at 90
# and is 1 - cos^2 about 45; x, the folded angle in nano-radians, and x2 = x^2 are put into this
# Taylor series of sin x, to the ninth power (its next term is below 2e-9 there), and the result
# squared: sin x = x (1 - x^2/6 (1 - x^2/20 (1 - x^2/42 (1 - x^2/72)))).
set(sine "(${giga} - @x2@ / 72)")
foreach(divisor 42 20 6)
  set(sine "(${giga} - @x2@ * ${sine} / ${giga} / ${divisor})")
endforeach()
set(sine "(@x@ * ${sine} / ${giga})")
set(sine_squared_template "${sine} * ${sine} / ${giga}")

decimal_units(${SURF_SUM_BOUND} ${value_scale} sum_bound)
math(EXPR sum_bound "${sum_bound} + 4")  # four truncated values
decimal_units(${SURF_AXIS_RELATION_BOUND} 9 axis_bound)
math(EXPR axis_bound "${axis_bound} + 20")  # truncated values and the series
decimal_units(${SURF_NORMAL_AXIS_BOUND} ${angle_scale} normal_axis_bound)
math(EXPR normal_axis_bound "${normal_axis_bound} + 1")  # a truncated angle

# One flag per relation, set when the sample breaks it: x < 0 is ((x) >> 63) & 1. The values in
# the order rs, rp, rEigen1, rEigen2, ts, tp, tEigen1, tEigen2 are \1 .. \8; `reflection_sin2`
# and `transmission_sin2` are filled in per row.
set(value_captures "^([^;]*);([^;]*);([^;]*);([^;]*);[^;]*;[^;]*;([^;]*);([^;]*);([^;]*);([^;]*);[^;]*;[^;]*$")
function(negative x bit)
  set(relation_flags "${relation_flags} | ((((${x}) >> 63) & 1) << ${bit})" PARENT_SCOPE)
endfunction()
set(relation_flags "0")
negative("\\4 - \\3" 0)                                 # rEigen1 <= rEigen2
negative("\\7 - \\8" 1)                                 # tEigen1 >= tEigen2
negative("${one} - \\1 - \\5" 2)                        # rs + ts <= 1
negative("${one} - \\2 - \\6" 3)                        # rp + tp <= 1
negative("${sum_bound} - (\\1 + \\2 - \\3 - \\4)" 4)    # rs + rp = rEigen1 + rEigen2
negative("${sum_bound} + (\\1 + \\2 - \\3 - \\4)" 4)
negative("${sum_bound} - (\\5 + \\6 - \\7 - \\8)" 5)    # ts + tp = tEigen1 + tEigen2
negative("${sum_bound} + (\\5 + \\6 - \\7 - \\8)" 5)
# The axis relations, in units of 1e-9: with S = sin^2(axis) and D = eigen2 - eigen1, the
# eigen-values turned by the axis give s = eigen2 - D S and p = eigen1 + D S.
foreach(side r t)
  if(side STREQUAL "r")
    set(s 1)
    set(p 2)
    set(e1 3)
    set(e2 4)
    set(bit 6)
  else()
    set(s 5)
    set(p 6)
    set(e1 7)
    set(e2 8)
    set(bit 7)
  endif()
  set(turned "(\\${e2} - \\${e1}) / 1000000 * @${side}_sin2@ / ${giga}")
  negative("${axis_bound} - ((\\${s} - \\${e2}) / 1000000 + ${turned})" ${bit})
  negative("${axis_bound} + ((\\${s} - \\${e2}) / 1000000 + ${turned})" ${bit})
  negative("${axis_bound} - ((\\${p} - \\${e1}) / 1000000 - ${turned})" ${bit})
  negative("${axis_bound} + ((\\${p} - \\${e1}) / 1000000 - ${turned})" ${bit})
endforeach()
set(relation_names
  "rEigen1 <= rEigen2" "tEigen1 >= tEigen2" "rs + ts <= 1" "rp + tp <= 1"
  "rs + rp = rEigen1 + rEigen2" "ts + tp = tEigen1 + tEigen2"
  "rs, rp follow the eigen-values turned by rAxis" "ts, tp follow the eigen-values turned by tAxis")
set(relation_bounds "" "" "" "" " to within ${SURF_SUM_BOUND}" " to within ${SURF_SUM_BOUND}"
  " to within ${SURF_AXIS_RELATION_BOUND}" " to within ${SURF_AXIS_RELATION_BOUND}")

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
# Blank lines at the end of the file are no rows. Any other blank line is refused here, by its
# number: the list of lines below would drop it and number the rest wrongly.
string(REGEX REPLACE "\n+$" "" content "${content}")
if(content MATCHES "^\n|\n\n")
  string(FIND "${content}" "\n\n" at)
  if(content MATCHES "^\n")
    set(line 1)
  else()
    string(SUBSTRING "${content}" 0 ${at} before)
    string(REGEX MATCHALL "\n" breaks "${before}")
    list(LENGTH breaks line)
    math(EXPR line "${line} + 2")
  endif()
  fail(${line} "empty line")
endif()
if(content STREQUAL "")
  fail(1 "empty file; line 1 must be the header '${header}'")
endif()
string(REPLACE "\n" ";" lines "${content}")

list(GET lines 0 first)
if(NOT first STREQUAL header)
  fail(1 "header must be exactly '${header}' but is '${first}'")
endif()

# The twelve sample values of a row that the fast path could not convert, field by field, with
# the fault named: not a number, out of range, a reflectance outside [0, 1]. Sets `converted`.
macro(convert_fields_one_by_one)
  set(column 0)
  set(converted "")
  foreach(field IN LISTS fields)
    list(GET column_names ${column} name)
    if(NOT field MATCHES "${number_regex}")
      fail(${line} "column ${name}: '${field}' is not a number")
    endif()
    if(column GREATER_EQUAL 3)
      if(name MATCHES "Axis$|Extra$")
        decimal_units("${field}" ${angle_scale} units)
      else()
        decimal_units("${field}" ${value_scale} units)
      endif()
      # Beyond these a value could overflow a double or vanish into a subnormal; no coating
      # value comes near either.
      if(units_magnitude GREATER 98 OR units_magnitude LESS -99)
        fail(${line} "column ${name}: '${field}' is out of range; values lie within 1e-99 .. 1e99 in magnitude")
      endif()
      if(NOT name MATCHES "Axis$|Extra$" AND (units MATCHES "^-|overflow" OR units GREATER one))
        fail(${line} "reflectances, transmittances and eigen-values within 0..1 does not hold: ${name} is ${field}")
      endif()
      list(APPEND converted "${units}")
    endif()
    math(EXPR column "${column} + 1")
  endforeach()
endmacro()

# Rows are walked once, in order; the expected grid point advances with them, azimuth fastest.
set(body "")
set(rows "")
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
  list(SUBLIST fields 3 12 values)
  # The fast path: reflectances written 0.ddd become integers of 15 digits, angles written with
  # up to two decimals micro-degrees. Anything else goes field by field.
  set(converted ${values})
  if(row MATCHES "${plain_row_regex}" AND NOT row MATCHES "${long_field_regex}")
    # A whole number other than 0 (a value of 1, say, or 01) is not in units yet: marked, it
    # goes field by field.
    list(TRANSFORM converted REPLACE "^(0*[1-9][0-9]*)$" "!\\1" AT 0 1 2 3 6 7 8 9)
    list(TRANSFORM converted REPLACE "^0[.]([0-9]*)$" "#\\1000000000000000" AT 0 1 2 3 6 7 8 9)
    list(TRANSFORM converted REPLACE "^#([0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9])[0-9]*$" "\\1" AT 0 1 2 3 6 7 8 9)
    list(TRANSFORM converted REPLACE "^(-?[0-9]+)$" "\\1.00" AT 4 10)
    list(TRANSFORM converted REPLACE "^(-?[0-9]+[.][0-9])$" "\\10" AT 4 10)
    list(TRANSFORM converted REPLACE "^(-?[0-9]?[0-9]?[0-9]?[0-9])[.]([0-9][0-9])$" "\\1\\20000" AT 4 10)
  endif()
  if(NOT converted MATCHES "^[0-9]+;[0-9]+;[0-9]+;[0-9]+;-?[0-9]+;[^;]*;[0-9]+;[0-9]+;[0-9]+;[0-9]+;-?[0-9]+;[^;]*$")
    convert_fields_one_by_one()
  endif()
  list(GET fields 0 w)
  list(GET fields 1 i)
  list(GET fields 2 a)
  if(NOT w STREQUAL want_w OR NOT i STREQUAL want_i OR NOT a STREQUAL want_a)
    canonical_grid_text("${w}" w)
    canonical_grid_text("${i}" i)
    canonical_grid_text("${a}" a)
    if(NOT w STREQUAL want_w OR NOT i STREQUAL want_i OR NOT a STREQUAL want_a)
      fail(${line} "grid point (wavelength ${w}, incidence ${i}, azimuth ${a}) out of place: table order needs (${want_w}, ${want_i}, ${want_a}) here")
    endif()
  endif()

  # The relations between the columns, all in one expression.
  list(GET converted 4 r_axis)
  list(GET converted 10 t_axis)
  # Axis angles repeat from row to row: each one's sin^2 is worked out once.
  foreach(axis IN LISTS r_axis t_axis)
    if(NOT DEFINED sin2_${axis})
      math(EXPR folded "(${axis} % 180000000 + 180000000) % 180000000")
      if(folded GREATER 90000000)
        math(EXPR folded "180000000 - ${folded}")
      endif()
      set(mirrored OFF)
      if(folded GREATER 45000000)
        math(EXPR folded "90000000 - ${folded}")
        set(mirrored ON)
      endif()
      math(EXPR x "${folded} * 17453292520 / ${giga}")
      math(EXPR x2 "${x} * ${x} / ${giga}")
      string(REPLACE "@x2@" "${x2}" sine_squared "${sine_squared_template}")
      string(REPLACE "@x@" "${x}" sine_squared "${sine_squared}")
      math(EXPR sin2_${axis} "${sine_squared}")
      if(mirrored)
        math(EXPR sin2_${axis} "${giga} - ${sin2_${axis}}")
      endif()
    endif()
  endforeach()
  string(REGEX REPLACE "${value_captures}" "${relation_flags}" flags "${converted}")
  string(REPLACE "@r_sin2@" "${sin2_${r_axis}}" flags "${flags}")
  string(REPLACE "@t_sin2@" "${sin2_${t_axis}}" flags "${flags}")
  math(EXPR flags "${flags}")
  if(NOT flags EQUAL 0)
    foreach(bit RANGE 7)
      math(EXPR set_bit "(${flags} >> ${bit}) & 1")
      if(set_bit)
        list(GET relation_names ${bit} relation)
        list(GET relation_bounds ${bit} bound)
        string(REPLACE ";" ", " shown "${values}")
        fail(${line} "${relation}${bound} does not hold (rs .. tExtra: ${shown})")
      endif()
    endforeach()
  endif()
  if(ii EQUAL 0)
    foreach(axis r_axis t_axis)
      math(EXPR off "${${axis}} - ${want_a} * 1000000")
      if(off GREATER normal_axis_bound OR off LESS -${normal_axis_bound})
        list(GET values 4 r_text)
        list(GET values 10 t_text)
        fail(${line} "at normal incidence both axes follow the azimuth to within ${SURF_NORMAL_AXIS_BOUND} degrees does not hold: azimuth ${want_a}, rAxis ${r_text}, tAxis ${t_text}")
      endif()
    endforeach()
  endif()

  # Written as floating literals: a bare integer such as -0 would otherwise be the integer
  # zero (+0.0, where strtod gives -0.0), and a long one might not fit an integer type.
  list(TRANSFORM values REPLACE "^([-+]?[0-9]+)$" "\\1.0")
  string(JOIN ", " values ${values})
  # Appended to the body one wavelength at a time: appending each row to the whole body would
  # copy it over and over.
  string(APPEND rows "    ${values},  // line ${line}\n")
  math(EXPR ia "${ia} + 1")
  if(ia EQUAL 19)
    set(ia 0)
    math(EXPR ii "${ii} + 1")
    if(ii EQUAL 19)
      set(ii 0)
      math(EXPR iw "${iw} + 1")
      string(APPEND body "${rows}")
      set(rows "")
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
