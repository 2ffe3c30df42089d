# Feeds the coating-table converter broken copies of a good data file and checks that each is
# refused with the file, the line and the fault named.
#   cmake -DSCRIPT=embed_table.cmake -DGOOD=data.csv -DWORK=dir -P table_converter_test.cmake

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(STRINGS "${GOOD}" lines)
list(LENGTH lines count)
set(failures 0)

# Writes `lines` with line `number` (1-based) replaced, removed (REMOVE), doubled (DOUBLE) or
# left blank (BLANK).
function(write_variant name number replacement)
  set(variant ${lines})
  math(EXPR index "${number} - 1")
  list(GET variant ${index} original)
  list(REMOVE_AT variant ${index})
  if(replacement STREQUAL "DOUBLE")
    list(INSERT variant ${index} "${original}" "${original}")
  elseif(NOT replacement STREQUAL "REMOVE")
    list(INSERT variant ${index} "${replacement}")
  endif()
  string(JOIN "\n" text ${variant})
  string(REPLACE "\nBLANK\n" "\n\n" text "${text}")
  file(WRITE "${WORK}/${name}.csv" "${text}\n")
endfunction()

function(expect_refused name expected)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DINPUT=${WORK}/${name}.csv -DOUTPUT=${WORK}/${name}.cpp -P ${SCRIPT}
    RESULT_VARIABLE result ERROR_VARIABLE err OUTPUT_QUIET)
  string(REGEX REPLACE "[ \n]+" " " err "${err}")
  if(result EQUAL 0)
    message(SEND_ERROR "${name}: accepted, expected refusal with '${expected}'")
  elseif(NOT err MATCHES "${expected}")
    message(SEND_ERROR "${name}: message '${err}' does not contain '${expected}'")
  elseif(EXISTS ${WORK}/${name}.cpp)
    message(SEND_ERROR "${name}: refused but still wrote its output")
  else()
    message(STATUS "${name}: refused as expected")
  endif()
endfunction()

# Converts ${name}.csv, which must be accepted; `what` says what the valid file shows.
function(expect_accepted name what)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DINPUT=${WORK}/${name}.csv -DOUTPUT=${WORK}/${name}.cpp -P ${SCRIPT}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(SEND_ERROR "${name}: a valid file ${what} was refused")
  endif()
endfunction()

list(GET lines 5 row6)
string(REPLACE "," ";" fields "${row6}")

# Line 6 with some of its fields replaced: row6_with(<out> <index> <value> [<index> <value>...]).
function(row6_with out_var)
  set(changed ${fields})
  set(pairs ${ARGN})
  while(pairs)
    list(POP_FRONT pairs index value)
    list(REMOVE_AT changed ${index})
    list(INSERT changed ${index} "${value}")
  endwhile()
  string(JOIN "," row ${changed})
  set(${out_var} "${row}" PARENT_SCOPE)
endfunction()

write_variant(header 1 "wavelength,incidence,azimuth,rs,rp")
expect_refused(header "header.csv:1: header must be exactly")

list(GET fields 0 1 2 3 keep)
string(JOIN "," short_row ${keep})
write_variant(missing_fields 6 "${short_row}")
expect_refused(missing_fields "missing_fields.csv:6: 4 fields, 15 expected")

write_variant(extra_field 6 "${row6},0.5")
expect_refused(extra_field "extra_field.csv:6: 16 fields, 15 expected")

row6_with(bad_row 6 "0.8x")
write_variant(not_a_number 6 "${bad_row}")
expect_refused(not_a_number "not_a_number.csv:6: column rEigen2: '0.8x' is not a number")

row6_with(bad_row 3 "1e400")
write_variant(overflow 6 "${bad_row}")
expect_refused(overflow "overflow.csv:6: column rs: '1e400' is out of range")

write_variant(empty_field 6 "${row6},")
expect_refused(empty_field "empty_field.csv:6: empty field")

write_variant(missing_row 6 REMOVE)
expect_refused(missing_row "missing_row.csv:6: grid point .* out of place: table order needs \\(0.4, 0, 20\\)")

write_variant(duplicate_row 6 DOUBLE)
expect_refused(duplicate_row "duplicate_row.csv:7: grid point .* out of place")

write_variant(truncated ${count} REMOVE)
expect_refused(truncated "truncated.csv:11192: file ends after 11190 sample rows")

write_variant(extra_row ${count} DOUBLE)
expect_refused(extra_row "extra_row.csv:11193: extra row after the last sample")

row6_with(bad_row 0 "0.41")
write_variant(wrong_wavelength 6 "${bad_row}")
expect_refused(wrong_wavelength "wrong_wavelength.csv:6: grid point \\(wavelength 0.41, incidence 0, azimuth 20\\) out of place")

file(WRITE "${WORK}/empty.csv" "")
expect_refused(empty "empty.csv:1: empty file")

row6_with(bad_row 3 "1000000000000000000000000000000000000000000000")
write_variant(long_value 6 "${bad_row}")
expect_refused(long_value "long_value.csv:6: reflectances, transmittances and eigen-values within 0..1 does not hold: rs is 1000000")

# Samples that break the relations every sample keeps: each refused with the relation named.
list(GET fields 4 rp)
string(REGEX REPLACE "^0[.]" "0.00" small_rp "${rp}")
set(relation_cases
  "negative|3|-0.1|reflectances, transmittances and eigen-values within 0..1 does not hold: rs is -0.1"
  "huge|8|1e99|column rExtra: '1e99' is out of range"
  "tiny|14|1e-100|column tExtra: '1e-100' is out of range"
  "order|5|0.95|rEigen1 <= rEigen2 does not hold"
  "energy|9|0.9|rs [+] ts <= 1 does not hold"
  "whole_one|3|1|rs [+] ts <= 1 does not hold"
  "leading_zero|3|01|rs [+] ts <= 1 does not hold"
  "sum|4|${small_rp}|rs [+] rp = rEigen1 [+] rEigen2 to within 5e-7 does not hold"
  "axis|7|60|rs, rp follow the eigen-values turned by rAxis to within 0.003 does not hold"
  "normal_axis|13|20.05|at normal incidence both axes follow the azimuth to within 0.04 degrees does not hold")
foreach(case IN LISTS relation_cases)
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 name)
  list(GET case 1 index)
  list(GET case 2 value)
  list(GET case 3 expected)
  row6_with(bad_row ${index} "${value}")
  write_variant(${name} 6 "${bad_row}")
  expect_refused(${name} "${name}.csv:6: ${expected}")
endforeach()

# A blank line is refused where it stands; blank lines at the end of the file are no rows.
write_variant(blank_line 6 BLANK)
expect_refused(blank_line "blank_line.csv:6: empty line")
string(JOIN "\n" text ${lines})
file(WRITE "${WORK}/blank_end.csv" "${text}\n\n\n")
expect_accepted(blank_end "ending in blank lines")

# The converter accepts the good file, with grid values written in other decimal forms and a
# three-digit exponent, and keeps bare integers floating-point: -0 must stay -0.0, as strtod
# reads it.
list(GET fields 3 rs)
string(REGEX REPLACE "^0[.]([0-9])([0-9]*)$" "\\1.\\2e-001" rs_with_exponent "${rs}")
row6_with(good_row 0 "0.4000" 3 "${rs_with_exponent}" 8 "-0" 14 "123456789012345678")
write_variant(other_forms 6 "${good_row}")
expect_accepted(other_forms "with other decimal forms")
file(STRINGS "${WORK}/other_forms.cpp" converted REGEX "// line 6$")
if(NOT converted MATCHES ", -0[.]0, .*, 123456789012345678[.]0,  // line 6")
  message(SEND_ERROR "other_forms: bare integers not kept as floating literals: ${converted}")
endif()

# A UTF-8 byte-order mark, as spreadsheets write one, is not part of the header.
string(ASCII 239 187 191 byte_order_mark)
string(JOIN "\n" text ${lines})
file(WRITE "${WORK}/bom.csv" "${byte_order_mark}${text}\n")
expect_accepted(bom "starting with a byte-order mark")
