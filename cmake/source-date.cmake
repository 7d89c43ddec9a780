# The time of the release, in seconds since 1970, from the first entry of
# packaging/changelog (" -- NAME <MAIL>  Sun, 06 Dec 2026 12:00:00 +0000"):
# what the packages stamp on their files unless SOURCE_DATE_EPOCH says
# otherwise, so that the same source gives the same packages.
function(quarnel_release_time changelog result)
  file(STRINGS ${changelog} trailer REGEX "^ -- " LIMIT_COUNT 1)
  if(NOT trailer MATCHES
     ", ([0-9]+) ([A-Z][a-z][a-z]) ([0-9]+) ([0-9]+):([0-9]+):([0-9]+) \\+0000$")
    message(FATAL_ERROR "${changelog}: the first entry has no date in UTC")
  endif()
  set(day ${CMAKE_MATCH_1})
  set(year ${CMAKE_MATCH_3})
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(FIND months ${CMAKE_MATCH_2} month)
  math(EXPR month "${month} + 1")
  math(EXPR clock "${CMAKE_MATCH_4} * 3600 + ${CMAKE_MATCH_5} * 60 + ${CMAKE_MATCH_6}")
  # Days since 1970-01-01 in the proleptic Gregorian calendar, counted in
  # years that begin in March so that the leap day comes last.
  if(month LESS_EQUAL 2)
    math(EXPR year "${year} - 1")
    math(EXPR month "${month} + 9")
  else()
    math(EXPR month "${month} - 3")
  endif()
  math(EXPR era "${year} / 400")
  math(EXPR year_of_era "${year} - ${era} * 400")
  math(EXPR day_of_year "(153 * ${month} + 2) / 5 + ${day} - 1")
  math(EXPR days "${era} * 146097 + ${year_of_era} * 365 + ${year_of_era} / 4 \
    - ${year_of_era} / 100 + ${day_of_year} - 719468")
  math(EXPR seconds "${days} * 86400 + ${clock}")
  set(${result} ${seconds} PARENT_SCOPE)
endfunction()
