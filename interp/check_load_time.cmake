# Fails where an object of the interpolation holds a static initialiser: code that runs when the
# library is loaded, before the processor has been asked what it can run. A level's source built
# for an instruction set must never run there. Usage: cmake -DNM=nm -DOBJECTS=a.o|b.o -P this
string(REPLACE "|" ";" objects "${OBJECTS}")
list(LENGTH objects count)
if(count EQUAL 0)
  message(FATAL_ERROR "no objects to check")
endif()
foreach(object IN LISTS objects)
  execute_process(COMMAND ${NM} ${object} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${NM} cannot read ${object}")
  endif()
  # GCC and clang name a source's initialiser _GLOBAL__sub_I_ and the source; sanitizers' own
  # carry a priority, digits, instead.
  if(symbols MATCHES "_GLOBAL__sub_I_[A-Za-z]")
    get_filename_component(name ${object} NAME)
    message(FATAL_ERROR "${name} has a static initialiser: a constant of it is built at load time")
  endif()
endforeach()
message(STATUS "no static initialiser in ${count} objects")
