# Writes OUTPUT, the header of the failure texts, from DOC (docs/failures.md):
# each step's title from its heading, the forms a text is built in, and a row
# per label or fixed text of the tables under each step's heading (label,
# what it means, what to check). The host reads the document nowhere else, so
# its advice can never disagree with it. A cell "as above" takes the cell of
# the row above it, and "as for `LABEL`" or "as for the OPERATION" that of the
# row it names in the same table, so each row reads on its own.

cmake_minimum_required(VERSION 3.16)

file(READ "${DOC}" doc)
# CMake lists split at ';' and do not split inside unbalanced brackets: mask
# both, and the backslash, while the text is a list of lines.
string(REPLACE "\\" "@VBS@" doc "${doc}")
string(REPLACE ";" "@VSC@" doc "${doc}")
string(REPLACE "[" "@VLB@" doc "${doc}")
string(REPLACE "]" "@VRB@" doc "${doc}")
string(REPLACE "\r" "" doc "${doc}")
string(REPLACE "\n" ";" lines "${doc}")

# The text as C++ string literal content: masks undone, code marks dropped.
function(literal text out)
  string(REPLACE "`" "" text "${text}")
  string(REPLACE "@VBS@" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "@VSC@" ";" text "${text}")
  string(REPLACE "@VLB@" "[" text "${text}")
  string(REPLACE "@VRB@" "]" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# The first code span of a cell, blanks inside it kept; empty when none.
function(code_of cell out)
  set(${out} "" PARENT_SCOPE)
  if(cell MATCHES "`([^`]*)`")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  endif()
endfunction()

# A table row's cells, trimmed, as the list named by out.
function(cells_of line out)
  string(REGEX REPLACE "^ *\\|" "" line "${line}")
  string(REGEX REPLACE "\\| *$" "" line "${line}")
  string(REPLACE "|" ";" raw "${line}")
  set(cells "")
  foreach(cell IN LISTS raw)
    string(STRIP "${cell}" cell)
    list(APPEND cells "${cell}")
  endforeach()
  set(${out} "${cells}" PARENT_SCOPE)
endfunction()

# A cell that refers to another row of its table, written out. kind is
# "meaning" or "check"; the table so far is in the lists t_labels, t_ops and
# t_<kind>s of the caller, the row above in t_above_<kind>.
function(resolve kind cell out)
  if(cell MATCHES "^as above(.*)$")
    set(cell "${t_above_${kind}}${CMAKE_MATCH_1}")
  endif()
  while(cell MATCHES "as for `([^`]+)`")
    set(name "${CMAKE_MATCH_1}")
    list(FIND t_labels "${name}" at)
    if(at LESS 0)
      break()
    endif()
    list(GET t_${kind}s ${at} text)
    string(REPLACE "as for `${name}`" "${text}" cell "${cell}")
  endwhile()
  if(cell MATCHES "as for the ([^@.]+)")
    set(name "${CMAKE_MATCH_1}")
    set(i 0)
    foreach(op IN LISTS t_ops)
      string(FIND "${op}" "${name}" where)
      if(where EQUAL 0)
        list(GET t_${kind}s ${i} text)
        string(REPLACE "as for the ${name}" "${text}" cell "${cell}")
        break()
      endif()
      math(EXPR i "${i} + 1")
    endforeach()
  endif()
  set(${out} "${cell}" PARENT_SCOPE)
endfunction()

set(steps "")
set(rows "")
set(forms "")
set(export "")
set(table "")
set(fence OFF)
set(number 0)
foreach(line IN LISTS lines)
  math(EXPR number "${number} + 1")
  if(line MATCHES "^```")
    if(fence)
      set(fence OFF)
    else()
      set(fence ON)
    endif()
    continue()
  endif()
  if(fence)
    continue()
  endif()
  if(line MATCHES "^(#+) (.*)$")
    set(level "${CMAKE_MATCH_1}")
    set(heading "${CMAKE_MATCH_2}")
    set(table "")
    if(heading MATCHES "^(.*): `Vorn_CMU200_([A-Za-z0-9_]+)`$")
      set(export "Vorn_CMU200_${CMAKE_MATCH_2}")
      literal("${CMAKE_MATCH_1}" title)
      string(APPEND steps "    {\"${export}\", ${title}},\n")
    else()
      string(LENGTH "${level}" depth)
      if(depth LESS_EQUAL 3)
        set(export "")
      endif()
    endif()
    continue()
  endif()
  if(NOT line MATCHES "^\\|")
    set(table "")
    continue()
  endif()
  cells_of("${line}" cells)
  list(LENGTH cells count)
  list(GET cells 0 first)
  if(table STREQUAL "")
    # A header: what kind of table follows.
    set(table "other")
    set(width ${count})
    set(t_labels "")
    set(t_ops "")
    set(t_meanings "")
    set(t_checks "")
    set(t_above_meaning "")
    set(t_above_check "")
    if(first STREQUAL "Form")
      set(table "form")
    elseif(NOT export STREQUAL "" AND first STREQUAL "Label" AND count EQUAL 4)
      set(table "label")
    elseif(NOT export STREQUAL "" AND first STREQUAL "Text" AND count EQUAL 3)
      set(table "text")
    endif()
    continue()
  endif()
  if(first MATCHES "^[-: ]*$")
    continue()  # the line under the header
  endif()
  if(NOT count EQUAL width)
    message(FATAL_ERROR "${DOC}:${number}: ${count} cells in a table of ${width} columns")
  endif()
  if(table STREQUAL "form")
    list(GET cells 1 text)
    code_of("${text}" form)
    if(NOT form MATCHES "LABEL")
      message(FATAL_ERROR "${DOC}:${number}: a failure form without LABEL")
    endif()
    string(FIND "${form}" "LABEL" at)
    string(SUBSTRING "${form}" 0 ${at} prefix)
    math(EXPR after "${at} + 5")
    string(SUBSTRING "${form}" ${after} -1 suffix)
    literal("${prefix}" prefix)
    literal("${suffix}" suffix)
    string(APPEND forms "    {${prefix}, ${suffix}},\n")
  elseif(table STREQUAL "label" OR table STREQUAL "text")
    code_of("${first}" label)
    if(label STREQUAL "")
      message(FATAL_ERROR "${DOC}:${number}: a failure row without its label in code marks")
    endif()
    if(table STREQUAL "label")
      list(GET cells 1 op)
      list(GET cells 2 meaning)
      list(GET cells 3 check)
      set(whole false)
    else()
      set(op "")
      list(GET cells 1 meaning)
      list(GET cells 2 check)
      set(whole true)
      # "When" may open with what follows the text: the meaning is the rest.
      if(meaning MATCHES "^followed directly by [^:]*: (.+)$")
        set(meaning "${CMAKE_MATCH_1}")
      endif()
    endif()
    resolve(meaning "${meaning}" meaning)
    resolve(check "${check}" check)
    list(APPEND t_labels "${label}")
    list(APPEND t_ops "${op}")
    list(APPEND t_meanings "${meaning}")
    list(APPEND t_checks "${check}")
    set(t_above_meaning "${meaning}")
    set(t_above_check "${check}")
    literal("${label}" label)
    literal("${meaning}" meaning)
    literal("${check}" check)
    string(APPEND rows "    {\"${export}\", ${label}, ${meaning}, ${check}, ${whole}},\n")
  endif()
endforeach()

if(steps STREQUAL "" OR rows STREQUAL "" OR forms STREQUAL "")
  message(FATAL_ERROR "${DOC}: no step headings, failure rows or forms found")
endif()

set(text "// Generated from docs/failures.md by host/core/failure_table.cmake: do not edit.
#pragma once

namespace vorn_host::failure_table {

// Each step's heading: \"Supply on\" for Vorn_CMU200_DcInit.
struct Step {
  const char *exportName;
  const char *title;
};
inline constexpr Step kSteps[] = {
${steps}};

// How a text is built around its label: prefix LABEL suffix, where STATUS
// stands for a status in decimal and LASTERROR for the rest of the text.
struct Form {
  const char *prefix;
  const char *suffix;
};
inline constexpr Form kForms[] = {
${forms}};

// A failure of a step: its label (or, whole, a text that stands alone and
// starts the failure text), what it means and what to check.
struct Row {
  const char *exportName;
  const char *label;
  const char *meaning;
  const char *check;
  bool whole;
};
inline constexpr Row kRows[] = {
${rows}};

}  // namespace vorn_host::failure_table
")
file(WRITE "${OUTPUT}.tmp" "${text}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUTPUT}.tmp" "${OUTPUT}")
