# Helpers for winelib modules, programs and tests.
#
#   corv_add_module(<target> FILE <Name.ext> SPEC <file.spec> SOURCES ... [LIBS ...] [IMPORTS ...] [RC file.rc])
#       A Win32 DLL (or .ax / .ocx) built from a .spec file.  It lands in bin/
#       as <Name.ext>.so and, because Wine's loader looks for the plain name,
#       also as <Name.ext>.  An import library lib<target>.a is generated from
#       the .spec so that other modules import it by name.
#   corv_add_program(<target> FILE <Name.exe> SOURCES ... [LIBS ...] [IMPORTS ...] [RC ...] [GUI])
#   corv_add_test(<target> SOURCES ... [LIBS ...] [IMPORTS ...] [RC file.rc] [DISPLAY] [REGISTER mod...])
#       A Catch2 program run by CTest under the build's Wine prefix; DISPLAY
#       runs it under xvfb-run.  REGISTER names modules that must be
#       registered in the prefix before the test runs.
#   corv_register(<target>)   registers a COM server module in the prefix.
#
# Import lists name Win32 DLLs (ole32, strmiids, ...) or our own module targets.

set(CORV_WINRUN ${CMAKE_BINARY_DIR}/winrun)
configure_file(${CMAKE_SOURCE_DIR}/tools/winrun.in ${CORV_WINRUN} @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set_property(GLOBAL PROPERTY CORV_REGISTERED "")

function(_corv_imports target)
  foreach(imp ${ARGN})
    if(TARGET ${imp})
      get_target_property(kind ${imp} CORV_KIND)
      if(kind STREQUAL "module")
        add_dependencies(${target} ${imp}_implib ${imp})
        target_link_options(${target} PRIVATE ${CORV_OUT}/lib${imp}.a)
      else()
        target_link_libraries(${target} PRIVATE ${imp})
      endif()
    else()
      target_link_options(${target} PRIVATE -l${imp})
    endif()
  endforeach()
endfunction()

function(corv_add_module target)
  cmake_parse_arguments(M "" "FILE;SPEC;RC" "SOURCES;LIBS;IMPORTS" ${ARGN})
  set(srcs ${M_SOURCES})
  if(M_RC)
    corv_resource(${target} ${M_RC} res)
    list(APPEND srcs ${res})
  endif()
  add_library(${target} SHARED ${srcs})
  get_filename_component(spec ${M_SPEC} ABSOLUTE)
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".so" OUTPUT_NAME ${M_FILE}
                        NO_SONAME ON LIBRARY_OUTPUT_DIRECTORY ${CORV_OUT} CORV_KIND module
                        LINK_DEPENDS ${spec})
  target_link_options(${target} PRIVATE ${spec})
  target_link_libraries(${target} PRIVATE ${M_LIBS})
  _corv_imports(${target} ${M_IMPORTS})
  # Wine's loader wants the plain file name beside the .so.
  add_custom_command(TARGET ${target} POST_BUILD
                     COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CORV_OUT}/${M_FILE}.so ${CORV_OUT}/${M_FILE})
  # The import library records the deliverable's own file name.
  set(implib ${CORV_OUT}/lib${target}.a)
  add_custom_command(OUTPUT ${implib}
                     COMMAND winebuild -w -m64 --implib -o ${implib} --export ${spec} -F ${M_FILE}
                     DEPENDS ${spec} VERBATIM)
  add_custom_target(${target}_implib DEPENDS ${implib})
endfunction()

function(corv_resource target rc outvar)
  get_filename_component(rcabs ${rc} ABSOLUTE)
  get_filename_component(rcdir ${rcabs} DIRECTORY)
  set(res ${CMAKE_CURRENT_BINARY_DIR}/${target}.res)
  # Callers may name resource folders, files and the targets that generate them
  # (CORV_RC_INCLUDES, CORV_RC_DEPENDS, CORV_RC_TARGETS).
  set(incs "")
  foreach(d ${CORV_RC_INCLUDES})
    list(APPEND incs -I${d})
  endforeach()
  add_custom_command(OUTPUT ${res}
                     COMMAND wrc --nostdinc -I${rcdir} ${incs} -I/usr/include/wine/wine/windows -o ${res} ${rcabs}
                     DEPENDS ${rcabs} ${CORV_RC_DEPENDS} IMPLICIT_DEPENDS C ${rcabs} VERBATIM)
  # winegcc links compiled resources like objects.
  set_source_files_properties(${res} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  set(${outvar} ${res} PARENT_SCOPE)
endfunction()

function(corv_add_program target)
  cmake_parse_arguments(P "GUI" "FILE;RC" "SOURCES;LIBS;IMPORTS" ${ARGN})
  set(srcs ${P_SOURCES})
  if(P_RC)
    corv_resource(${target} ${P_RC} res)
  endif()
  add_executable(${target} ${srcs})
  if(P_RC)
    # A .res among the sources is built but not linked: name it on the link line.
    add_custom_target(${target}_res DEPENDS ${res})
    if(CORV_RC_TARGETS)
      add_dependencies(${target}_res ${CORV_RC_TARGETS})
    endif()
    add_dependencies(${target} ${target}_res)
    target_link_options(${target} PRIVATE ${res})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${res})
  endif()
  if(NOT P_FILE)
    set(P_FILE ${target}.exe)
  endif()
  get_filename_component(base ${P_FILE} NAME_WLE)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${base} SUFFIX ".exe"
                        RUNTIME_DIRECTORY ${CORV_OUT} RUNTIME_OUTPUT_DIRECTORY ${CORV_OUT} CORV_KIND program)
  if(P_GUI)
    target_link_options(${target} PRIVATE -mwindows)
  else()
    target_link_options(${target} PRIVATE -mconsole)
  endif()
  target_link_libraries(${target} PRIVATE ${P_LIBS})
  _corv_imports(${target} ${P_IMPORTS})
endfunction()

function(corv_register target)
  get_property(regs GLOBAL PROPERTY CORV_REGISTERED)
  list(APPEND regs ${target})
  set_property(GLOBAL PROPERTY CORV_REGISTERED "${regs}")
endfunction()

function(corv_add_test target)
  cmake_parse_arguments(T "DISPLAY" "TIMEOUT;RC" "SOURCES;LIBS;IMPORTS" ${ARGN})
  if(T_RC)
    set(T_RCARG RC ${T_RC})
  endif()
  corv_add_program(${target} SOURCES ${T_SOURCES} $<TARGET_OBJECTS:catch_result> LIBS catch_main ${T_LIBS}
                   IMPORTS ${T_IMPORTS} ${T_RCARG})
  if(T_DISPLAY)
    set(mode --display)
  else()
    set(mode --headless)
  endif()
  add_test(NAME ${target} COMMAND ${CORV_WINRUN} ${mode} ${CORV_OUT}/${target}.exe)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${target} PROPERTIES TIMEOUT ${T_TIMEOUT} FIXTURES_REQUIRED wineprefix)
endfunction()

# Called once at the end of the top-level list: the prefix is made (and every
# registered COM server registered in it) by a test fixture and by the
# 'prefix' target, so a plain build never touches Wine.
function(corv_finish_prefix)
  get_property(regs GLOBAL PROPERTY CORV_REGISTERED)
  set(files "")
  foreach(t ${regs})
    get_target_property(f ${t} OUTPUT_NAME)
    list(APPEND files ${f})
  endforeach()
  # Kept as a list: each module is its own argument to winrun.
  add_custom_target(prefix COMMAND ${CORV_WINRUN} --setup ${files} VERBATIM)
  if(regs)
    add_dependencies(prefix ${regs})
  endif()
  add_test(NAME wineprefix COMMAND ${CORV_WINRUN} --setup ${files})
  set_tests_properties(wineprefix PROPERTIES FIXTURES_SETUP wineprefix TIMEOUT 300)
endfunction()

# corv_idl(<target> <file.idl> <name>): widl makes <name>.tlb, <name>_h.h and
# <name>_i.c in the current binary folder; <target> builds them and
# <name>_IDL_DIR names that folder for includes and resources.
function(corv_idl target idl name)
  get_filename_component(idlabs ${idl} ABSOLUTE)
  set(dir ${CMAKE_CURRENT_BINARY_DIR})
  set(flags -m64 -I/usr/include/wine/wine/windows)
  add_custom_command(OUTPUT ${dir}/${name}.tlb ${dir}/${name}_h.h ${dir}/${name}_i.c
                     COMMAND widl ${flags} -t -o ${dir}/${name}.tlb ${idlabs}
                     COMMAND widl ${flags} -h -o ${dir}/${name}_h.h ${idlabs}
                     COMMAND widl ${flags} -u -o ${dir}/${name}_i.c ${idlabs}
                     DEPENDS ${idlabs} VERBATIM)
  add_custom_target(${target} DEPENDS ${dir}/${name}.tlb ${dir}/${name}_h.h ${dir}/${name}_i.c)
  set(${name}_IDL_DIR ${dir} PARENT_SCOPE)
endfunction()
