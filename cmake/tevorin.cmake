# tevorin_library(NAME DEPENDS lib...): a static library of every source in the
# calling folder (*.cpp, *.h, *.ui). NAME becomes the target tevorin_NAME.
function(tevorin_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
  add_library(tevorin_${name} STATIC ${srcs})
  # Generated ui_*.h headers are included by public window headers.
  target_include_directories(tevorin_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_BINARY_DIR}/tevorin_${name}_autogen/include)
  target_link_libraries(tevorin_${name} PUBLIC Qt6::Core Qt6::Gui Qt6::Widgets)
  foreach(dep ${ARG_DEPENDS})
    target_link_libraries(tevorin_${name} PUBLIC ${dep})
  endforeach()
endfunction()

# tevorin_test(NAME LIBS lib...): one GoogleTest executable of every *.cpp in the
# calling folder, registered with CTest; windows run offscreen.
function(tevorin_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(test_${name} ${srcs})
  target_link_libraries(test_${name} PRIVATE ${ARG_LIBS} tevorin_testsupport)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  gtest_discover_tests(test_${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT ${ARG_TIMEOUT})
endfunction()

# Every tevorin_* library that exists in this tree (for the test-support programs).
function(tevorin_all_libraries out)
  set(libs)
  foreach(dir platform video overlay graph analysis imagefile web measure)
    if(TARGET tevorin_${dir})
      list(APPEND libs tevorin_${dir})
    endif()
  endforeach()
  set(${out} ${libs} PARENT_SCOPE)
endfunction()
