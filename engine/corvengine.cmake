# Corvengine.dll: the media engine's flat interface, channel sources and
# file playback.  The engine's code is one static library so the tests can
# reach its internals; the module adds the export table and resources.
set(CORVENGINE_SOURCES
  src/engine.cpp src/exports.cpp src/decoder.cpp src/file_source.cpp src/graph_util.cpp
  src/grab_cb.cpp src/sources.cpp src/devices.cpp src/clock.cpp src/painter.cpp
  src/writers.cpp src/combiner.cpp src/transition_names.cpp
  src/surface_access.cpp src/surface_dxtrans.cpp
  src/switching.cpp src/surface_rows.cpp
  src/title_file.cpp src/cga_file.cpp src/title_over.cpp
  src/wm_encoder.cpp src/flv_writer.cpp src/profile.cpp)
# The channel sources of this folder beyond the file source.
list(APPEND CORVENGINE_SOURCES src/mpeg2_source.cpp src/capture_source.cpp src/network_source.cpp)
add_library(corvengine_core STATIC ${CORVENGINE_SOURCES})
target_include_directories(corvengine_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/src)
# The external-device interfaces of capture devices.
target_include_directories(corvengine_core PUBLIC ${CMAKE_SOURCE_DIR}/platform/capture)
if(TARGET dxtrans)
  target_link_libraries(corvengine_core PUBLIC dxtrans)
  target_compile_definitions(corvengine_core PUBLIC CORV_HAVE_DXTRANS)
endif()
# The encoders write through the Windows Media writer over FFmpeg.
target_link_libraries(corvengine_core PUBLIC wmwriter)
# Network streams are read through the Windows Media reader over FFmpeg.
target_link_libraries(corvengine_core PUBLIC wmreader)
# The frame clock runs the transition table's routines.
target_link_libraries(corvengine_core PUBLIC transitions)
set(CORVENGINE_IMPORTS ole32 oleaut32 uuid strmiids winmm gdi32 user32 msvfw32 msacm32)
# The engine library's own references to these must follow it on the link line.
target_link_libraries(corvengine_core PUBLIC ${CORVENGINE_IMPORTS})

corv_add_module(corvengine FILE Corvengine.dll SPEC Corvengine.spec
                SOURCES src/module.cpp LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS})

# The compiled resources go on the link line explicitly (a .res among the
# sources is built but not linked).
function(corvengine_link_res target)
  set(res ${CMAKE_CURRENT_BINARY_DIR}/${target}.res)
  if(NOT TARGET ${target}_res)
    corv_resource(${target} ${CMAKE_CURRENT_SOURCE_DIR}/Corvengine.rc res_out)
    add_custom_target(${target}_res DEPENDS ${res_out})
  endif()
  add_dependencies(${target} ${target}_res)
  target_link_options(${target} PRIVATE ${res})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${res})
endfunction()
corvengine_link_res(corvengine)

corv_add_test(test_engine_api SOURCES tests/test_engine_api.cpp
              LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS} TIMEOUT 120)
corvengine_link_res(test_engine_api)
# Test programs link as shared objects: their inline statics need PIC code.
target_compile_options(test_engine_api PRIVATE -fPIC)
add_dependencies(test_engine_api corvengine)

# Graph tests: generated clips (a fixture) and the registered filters.
set(ENGINE_CLIPS ${CMAKE_BINARY_DIR}/engineclips)
add_test(NAME engineclips COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/tests/make_engine_clips.sh ${ENGINE_CLIPS})
set_tests_properties(engineclips PROPERTIES FIXTURES_SETUP engineclips TIMEOUT 120)
set(ENGINE_GRAPH_LIBS corvengine_core)
if(TARGET hslpixel)
  list(APPEND ENGINE_GRAPH_LIBS hslpixel)
endif()
corv_add_test(test_engine_graph SOURCES tests/test_engine_graph.cpp
              LIBS ${ENGINE_GRAPH_LIBS} IMPORTS ${CORVENGINE_IMPORTS} TIMEOUT 200)
target_compile_options(test_engine_graph PRIVATE -fPIC)
set_tests_properties(test_engine_graph PROPERTIES FIXTURES_REQUIRED "wineprefix;engineclips"
                     ENVIRONMENT "ENGINE_CLIPS=${ENGINE_CLIPS}")

# Frame clock and transition driver (synthetic sources, no decoding).
corv_add_test(test_engine_clock SOURCES tests/test_engine_clock.cpp
              LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS} TIMEOUT 120)
target_compile_options(test_engine_clock PRIVATE -fPIC)

# Painters on a display (Xvfb): window pixels against the surfaces.
corv_add_test(test_engine_paint SOURCES tests/test_engine_paint.cpp
              LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS} DISPLAY TIMEOUT 120)
target_compile_options(test_engine_paint PRIVATE -fPIC)
corv_add_test(test_engine_clock_stress SOURCES tests/test_engine_clock_stress.cpp
              LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS} TIMEOUT 120)
target_compile_options(test_engine_clock_stress PRIVATE -fPIC)
set_tests_properties(test_engine_clock_stress PROPERTIES FIXTURES_REQUIRED "wineprefix;engineclips"
                     ENVIRONMENT "ENGINE_CLIPS=${ENGINE_CLIPS}")

# A full frame-clock tick at 720x576 against memcpy of a frame.
corv_add_program(bench_engine_tick FILE bench_engine_tick.exe SOURCES ${CMAKE_SOURCE_DIR}/bench/engine_tick.cpp
                 LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS})
target_compile_options(bench_engine_tick PRIVATE -fPIC)

corv_add_test(test_engine_units SOURCES tests/test_engine_units.cpp
              LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS} TIMEOUT 120)
target_compile_options(test_engine_units PRIVATE -fPIC)
corvengine_link_res(test_engine_units)
corv_add_test(test_engine_paint_dc SOURCES tests/test_engine_paint_dc.cpp
              LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS} TIMEOUT 120)
target_compile_options(test_engine_paint_dc PRIVATE -fPIC)

# One channel decoding into its surface against an in-process FFmpeg loop.
corv_add_program(bench_engine_decode FILE bench_engine_decode.exe SOURCES ${CMAKE_SOURCE_DIR}/bench/engine_decode.cpp
                 LIBS corvengine_core ffcore IMPORTS ${CORVENGINE_IMPORTS})
target_compile_options(bench_engine_decode PRIVATE -fPIC)

# Programme combiner: title export files, CG clips, drawing over surfaces.
corv_add_test(test_engine_combiner SOURCES tests/test_engine_combiner.cpp
              LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS} TIMEOUT 120)
target_compile_options(test_engine_combiner PRIVATE -fPIC)
corvengine_link_res(test_engine_combiner)

# Title layers over a 720x576 programme against memcpy and pixman's OVER.
corv_add_program(bench_combiner FILE bench_combiner.exe SOURCES ${CMAKE_SOURCE_DIR}/bench/combiner.cpp
                 LIBS corvengine_core pixman-1 IMPORTS ${CORVENGINE_IMPORTS})
target_include_directories(bench_combiner PRIVATE /usr/include/pixman-1)
target_compile_options(bench_combiner PRIVATE -fPIC)

# Recording the programme through the writers (generated clips, ffprobe).
set(RECORD_CLIPS ${CMAKE_BINARY_DIR}/recordclips)
add_test(NAME recordclips COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/tests/make_record_clips.sh ${RECORD_CLIPS})
set_tests_properties(recordclips PROPERTIES FIXTURES_SETUP recordclips TIMEOUT 180)
corv_add_test(test_engine_record SOURCES tests/test_engine_record.cpp
              LIBS corvengine_core ws2_32 IMPORTS ${CORVENGINE_IMPORTS} TIMEOUT 300)
target_compile_options(test_engine_record PRIVATE -fPIC)
target_include_directories(test_engine_record PRIVATE ${CMAKE_SOURCE_DIR}/platform/wmformat/tests)
corvengine_link_res(test_engine_record)
set_tests_properties(test_engine_record PROPERTIES FIXTURES_REQUIRED "wineprefix;recordclips"
                     ENVIRONMENT "RECORD_CLIPS=${RECORD_CLIPS}")
corv_add_test(test_engine_profiles SOURCES tests/test_engine_profiles.cpp
              LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS} TIMEOUT 120)
target_compile_options(test_engine_profiles PRIVATE -fPIC)
target_include_directories(test_engine_profiles PRIVATE ${CMAKE_SOURCE_DIR}/platform/wmformat/tests)
corvengine_link_res(test_engine_profiles)
set_tests_properties(test_engine_profiles PROPERTIES RESOURCE_LOCK profilefolders)
set_property(TEST test_engine_api APPEND PROPERTY RESOURCE_LOCK profilefolders)

# MPEG-2 program stream source over generated .vob files.
set(VOB_CLIPS ${CMAKE_BINARY_DIR}/vobclips)
add_test(NAME vobclips COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/tests/make_vob_clips.sh ${VOB_CLIPS})
set_tests_properties(vobclips PROPERTIES FIXTURES_SETUP vobclips TIMEOUT 120)
corv_add_test(test_engine_mpeg2 SOURCES tests/test_engine_mpeg2.cpp
              LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS} TIMEOUT 180)
target_compile_options(test_engine_mpeg2 PRIVATE -fPIC)
set_tests_properties(test_engine_mpeg2 PROPERTIES FIXTURES_REQUIRED "wineprefix;vobclips"
                     ENVIRONMENT "VOB_CLIPS=${VOB_CLIPS}")
if(TARGET Mpeg2dec)
  add_dependencies(test_engine_mpeg2 Mpeg2dec)
endif()

# Capture source over the platform's capture devices.
corv_add_test(test_engine_capture SOURCES tests/test_engine_capture.cpp
              LIBS corvengine_core psapi IMPORTS ${CORVENGINE_IMPORTS} TIMEOUT 180)
target_compile_options(test_engine_capture PRIVATE -fPIC)
set_tests_properties(test_engine_capture PROPERTIES FIXTURES_REQUIRED "wineprefix")
if(TARGET Capdevs)
  add_dependencies(test_engine_capture Capdevs)
endif()

# Encoding speed of our writers beside an in-process FFmpeg loop.
corv_add_program(bench_wm_encode FILE bench_wm_encode.exe SOURCES ${CMAKE_SOURCE_DIR}/bench/wm_encode.cpp
                 LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS})
target_compile_options(bench_wm_encode PRIVATE -fPIC)
# The whole live path: five channels, transitions, a WMV recording.
corv_add_program(bench_live_path FILE bench_live_path.exe SOURCES ${CMAKE_SOURCE_DIR}/bench/live_path.cpp
                 LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS})
target_compile_options(bench_live_path PRIVATE -fPIC)
target_include_directories(bench_live_path PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
corvengine_link_res(bench_live_path)

# Network stream source over a small HTTP server in the test.
corv_add_test(test_engine_network SOURCES tests/test_engine_network.cpp
              LIBS corvengine_core IMPORTS ${CORVENGINE_IMPORTS} ws2_32 urlmon TIMEOUT 240)
target_compile_options(test_engine_network PRIVATE -fPIC)
target_include_directories(test_engine_network PRIVATE ${CMAKE_SOURCE_DIR}/platform/wmreader/tests)
set_tests_properties(test_engine_network PROPERTIES FIXTURES_REQUIRED "wineprefix")
