cmake_minimum_required(VERSION 3.19)
# Turns the rule table (web/js/ruletable.json) into C++ arrays for the
# program, so that the program and the page read one file.
#   cmake -DIN=<ruletable.json> -DOUT=<rule_table.inc> -P rule_table.cmake
file(READ "${IN}" json)

function(cpp_string out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# "{a, b, ...}," lines of the array member `member`, each element's `fields`
# (a string field as text, one in `numbers` as a number).
function(array_lines out member fields numbers)
  string(JSON count LENGTH "${json}" ${member})
  set(lines "")
  if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
      set(items "")
      foreach(field ${fields})
        string(JSON value GET "${json}" ${member} ${i} ${field})
        if(field IN_LIST numbers)
          list(APPEND items "${value}")
        else()
          cpp_string(quoted "${value}")
          list(APPEND items "${quoted}")
        endif()
      endforeach()
      list(JOIN items ", " joined)
      string(APPEND lines "    {${joined}},\n")
    endforeach()
  endif()
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# "{"key", "value"}," lines of the object member `member`.
function(object_lines out member)
  string(JSON count LENGTH "${json}" ${member})
  set(lines "")
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    string(JSON key MEMBER "${json}" ${member} ${i})
    string(JSON value GET "${json}" ${member} ${key})
    cpp_string(qkey "${key}")
    cpp_string(qvalue "${value}")
    string(APPEND lines "    {${qkey}, ${qvalue}},\n")
  endforeach()
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

array_lines(prefixes keywordPrefixes "prefix;why" "")
array_lines(named namedOptions "name;code;check;sends;label" "code")
array_lines(owned ownedCodes "code;why" "code")
array_lines(ipv6Modes ipv6Modes "mode;gives" "")
object_lines(places places)
object_lines(rowPlaces rowPlaces)
string(JSON typeCount LENGTH "${json}" otherTypes)
set(types "")
math(EXPR last "${typeCount} - 1")
foreach(i RANGE ${last})
  string(JSON type GET "${json}" otherTypes ${i})
  cpp_string(quoted "${type}")
  string(APPEND types "    ${quoted},\n")
endforeach()

file(WRITE "${OUT}.tmp"
"/* Made from web/js/ruletable.json by cmake/rule_table.cmake at build time. */\n"
"static const RuleKeywordPrefix kRuleKeywordPrefixes[] = {\n${prefixes}};\n"
"static const RuleNamedOption kRuleNamedOptions[] = {\n${named}};\n"
"static const char *const kRuleOtherTypes[] = {\n${types}};\n"
"static const RuleOwnedCode kRuleOwnedCodes[] = {\n${owned}};\n"
"static const RulePlace kRulePlaces[] = {\n${places}};\n"
"static const RulePlace kRuleRowPlaces[] = {\n${rowPlaces}};\n"
"static const RuleIpv6Mode kRuleIpv6Modes[] = {\n${ipv6Modes}};\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
