# Imported targets for the wxWidgets libraries: the core library links only
# wxBase, the GUI on top of it links the window libraries. Both compile with
# the same flags (wxUSE_GUI is not switched off for the core, so the two can
# be linked together); the core's freedom from window code is enforced by
# linking its tests against wxBase alone.
find_program(WX_CONFIG wx-config REQUIRED)
execute_process(COMMAND ${WX_CONFIG} --cxxflags OUTPUT_VARIABLE wx_cflags OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${WX_CONFIG} --libs base OUTPUT_VARIABLE wx_base_libs OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${WX_CONFIG} --libs net core aui html propgrid base OUTPUT_VARIABLE wx_gui_libs OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(wx_cflags UNIX_COMMAND "${wx_cflags}")
separate_arguments(wx_base_libs UNIX_COMMAND "${wx_base_libs}")
separate_arguments(wx_gui_libs UNIX_COMMAND "${wx_gui_libs}")
set(wx_includes)
set(wx_options)
foreach(flag ${wx_cflags})
  if(flag MATCHES "^-I(.+)$")
    list(APPEND wx_includes ${CMAKE_MATCH_1})
  else()
    list(APPEND wx_options ${flag})
  endif()
endforeach()
add_library(wx_base INTERFACE)
# Framework headers are system headers: their warnings are not ours.
target_include_directories(wx_base SYSTEM INTERFACE ${wx_includes})
target_compile_options(wx_base INTERFACE ${wx_options})
target_link_libraries(wx_base INTERFACE ${wx_base_libs})
add_library(wx_gui INTERFACE)
target_link_libraries(wx_gui INTERFACE wx_base ${wx_gui_libs})
