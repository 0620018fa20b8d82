# The shared library exports its two entry points, with C linkage, and
# nothing else.  Usage: cmake -DLIBRARY=path/to/libvesk.so -P exportsTest.cmake
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(exports)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]+ +" "" symbol "${line}")
  list(APPEND exports "${symbol}")
endforeach()
list(SORT exports)
if(NOT exports STREQUAL "T unzip;T unzipOneFile")
  message(FATAL_ERROR "unexpected exports:\n${listing}")
endif()
