# Extracts the C++ and C examples of a Markdown file into compilable sources.
#
# tiffview_doc_examples(MARKDOWN OUT_DIR PREFIX RESULT_VAR)
#   Reads MARKDOWN and writes one source per fenced block tagged ```cpp or
#   ```c into OUT_DIR, named PREFIX_<n>.cpp or PREFIX_<n>.c (n counts the
#   compiled blocks from 1). A block with a `main` function is written as it
#   is. Any other block is a snippet: its leading #include lines stay at file
#   scope and the rest becomes the body of `int main(void)`, which returns 0
#   when the snippet falls off its end. #line directives point compiler
#   messages at the Markdown file's own lines. RESULT_VAR receives the list
#   of written sources.
#
#   Every opening fence must name its language: a fence without one, or
#   tagged with another spelling of C or C++ (c++, cxx, cc, C, h, hpp), is a
#   configuration error, so an example cannot escape compilation by its tag.
#   Blocks meant as output or pseudo-code are tagged text (or sh, cmake, ...).
#
# CMake lists split on ';' and treat '[', ']' and '\' specially, so the
# text is escaped to placeholders before it is split into lines and
# restored when written.

function(tiffview_doc_examples markdown out_dir prefix result_var)
  file(READ "${markdown}" text)
  string(REPLACE "\\" "<TVDOC_BS>" text "${text}")
  string(REPLACE ";" "<TVDOC_SC>" text "${text}")
  string(REPLACE "[" "<TVDOC_LB>" text "${text}")
  string(REPLACE "]" "<TVDOC_RB>" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")

  set(sources "")
  set(count 0)
  set(line_no 0)
  set(in_block FALSE)
  foreach(line IN LISTS lines)
    math(EXPR line_no "${line_no} + 1")
    if(NOT in_block)
      if(line MATCHES "^[ \t]*```+(.*)$")
        string(STRIP "${CMAKE_MATCH_1}" tag)
        if(tag STREQUAL "")
          message(FATAL_ERROR "${markdown}:${line_no}: a fenced block needs a language tag "
            "(cpp or c to compile it as an example, text for output or pseudo-code)")
        endif()
        if(tag MATCHES "^(c\\+\\+|C\\+\\+|cxx|cc|C|h|hpp|hxx|CPP)( |$)")
          message(FATAL_ERROR "${markdown}:${line_no}: tag C++ examples cpp and C examples c, "
            "so that the tests compile them (not '${tag}')")
        endif()
        set(in_block TRUE)
        set(block_tag "${tag}")
        set(block_start ${line_no})
        set(block_lines "")
      endif()
    elseif(line MATCHES "^[ \t]*```+[ \t]*$")
      set(in_block FALSE)
      if(block_tag STREQUAL "cpp" OR block_tag STREQUAL "c")
        math(EXPR count "${count} + 1")
        _tiffview_doc_example_source("${markdown}" "${block_tag}" ${block_start} "${block_lines}" source)
        if(block_tag STREQUAL "cpp")
          set(path "${out_dir}/${prefix}_${count}.cpp")
        else()
          set(path "${out_dir}/${prefix}_${count}.c")
        endif()
        # Rewritten only when changed, so that reconfiguring rebuilds nothing.
        file(WRITE "${path}.new" "${source}")
        configure_file("${path}.new" "${path}" COPYONLY)
        file(REMOVE "${path}.new")
        list(APPEND sources "${path}")
      endif()
    else()
      # Each line is kept with a leading '|', so that an empty line is
      # still an element of the list.
      list(APPEND block_lines "|${line}")
    endif()
  endforeach()
  if(in_block)
    message(FATAL_ERROR "${markdown}:${block_start}: the fenced block is never closed")
  endif()
  set(${result_var} "${sources}" PARENT_SCOPE)
endfunction()

# The source of one block; `lines` holds its escaped lines, each after a
# '|', and the first of them is line `start` + 1 of the Markdown file.
function(_tiffview_doc_example_source markdown tag start lines result_var)
  set(has_main FALSE)
  foreach(kept IN LISTS lines)
    string(SUBSTRING "${kept}" 1 -1 line)
    if(line MATCHES "(^|[ \t])main[ \t]*\\(")
      set(has_main TRUE)
    endif()
  endforeach()

  set(line_no ${start})
  set(out "")
  if(has_main)
    math(EXPR first "${start} + 1")
    string(APPEND out "#line ${first} \"${markdown}\"\n")
    foreach(kept IN LISTS lines)
      string(SUBSTRING "${kept}" 1 -1 line)
      string(APPEND out "${line}\n")
    endforeach()
  else()
    # Standard headers a snippet may use without naming them; the
    # library's own header it must include itself.
    if(tag STREQUAL "cpp")
      string(APPEND out "#include <cstdint>\n#include <cstdio>\n#include <cstdlib>\n")
    else()
      string(APPEND out "#include <stdint.h>\n#include <stdio.h>\n#include <stdlib.h>\n")
    endif()
    set(head TRUE)
    foreach(kept IN LISTS lines)
      string(SUBSTRING "${kept}" 1 -1 line)
      math(EXPR line_no "${line_no} + 1")
      if(head AND NOT line MATCHES "^[ \t]*(#include.*)?$")
        set(head FALSE)
        string(APPEND out "int main(void) {\n#line ${line_no} \"${markdown}\"\n")
      endif()
      if(head AND line MATCHES "#include")
        string(APPEND out "#line ${line_no} \"${markdown}\"\n")
      endif()
      string(APPEND out "${line}\n")
    endforeach()
    if(head)
      string(APPEND out "int main(void) {\n")
    endif()
    string(APPEND out "return 0;\n}\n")
  endif()

  string(REPLACE "<TVDOC_RB>" "]" out "${out}")
  string(REPLACE "<TVDOC_LB>" "[" out "${out}")
  string(REPLACE "<TVDOC_SC>" ";" out "${out}")
  string(REPLACE "<TVDOC_BS>" "\\" out "${out}")
  set(${result_var} "${out}" PARENT_SCOPE)
endfunction()
