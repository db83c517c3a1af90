# tarnvel_subsystem(NAME DEPS dep...)
# Declares the static library tarnvel_NAME from every .cpp file of the
# calling folder (main.cpp excepted). A folder with no sources yet becomes
# an interface library, so that the dependency graph holds from day one.
function(tarnvel_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(sources)
    add_library(tarnvel_${name} STATIC ${sources})
    target_link_libraries(tarnvel_${name} PUBLIC tarnvel_flags ${ARG_DEPS}
                          PRIVATE ${ARG_PRIVATE_DEPS})
  else()
    add_library(tarnvel_${name} INTERFACE)
    target_link_libraries(tarnvel_${name} INTERFACE tarnvel_flags ${ARG_DEPS})
  endif()
endfunction()

# tarnvel_link_program(TARGET)
# Links the global allocation operators of the services into an executable,
# so that the replacement always takes part in the link.
function(tarnvel_link_program target)
  target_link_libraries(${target} PRIVATE tarnvel_operators tarnvel_services)
endfunction()
