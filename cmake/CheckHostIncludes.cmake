# Fails when a source above hostkit includes one of the host's C headers.
#   cmake -DSOURCES=a.cpp;b.h -DSTAMP=file -P CheckHostIncludes.cmake
set(found "")
foreach(source IN LISTS SOURCES)
  file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]lwsdk/")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    string(APPEND found "\n  ${source}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "The host's C headers are for hostkit/ and module/ only; "
                      "reach the host through a hostkit wrapper instead:${found}")
endif()
file(TOUCH ${STAMP})
