# Common flags and the helpers that turn folders of sources into targets.

if(WIN32)
  # ANSI Win32, static runtime: the executables need no DLL beside them.
  add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501 WIN32_LEAN_AND_MEAN NOMINMAX)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
  if(TARN_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  elseif(TARN_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  endif()
  if(TARN_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    # Programs other than the fuzz targets (tools/bin) link the sanitizers too.
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

# One static library from every .cpp of a folder (and of its win32/ or
# posix/ subfolder, whichever fits the target system). Further arguments
# name subfolders whose sources belong to the same library (peer/ keeps
# each network in one).
function(tarn_library name dir)
  file(GLOB srcs CONFIGURE_DEPENDS "${dir}/*.cpp")
  foreach(sub ${ARGN})
    file(GLOB sub_srcs CONFIGURE_DEPENDS "${dir}/${sub}/*.cpp")
    list(APPEND srcs ${sub_srcs})
  endforeach()
  if(WIN32)
    file(GLOB os_srcs CONFIGURE_DEPENDS "${dir}/win32/*.cpp")
  else()
    file(GLOB os_srcs CONFIGURE_DEPENDS "${dir}/posix/*.cpp")
  endif()
  if(NOT srcs AND NOT os_srcs)
    set(srcs ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${name} STATIC ${srcs} ${os_srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
endfunction()

# GoogleTest from Debian's source package, built with this project's flags
# (so it is cross-compiled for the win32 flavour and sanitized natively).
macro(tarn_use_googletest)
  if(NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(GTEST_SRC /usr/src/googletest)
    add_subdirectory(${GTEST_SRC} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(t gtest gtest_main gmock gmock_main)
      if(TARGET ${t})
        target_compile_options(${t} PRIVATE -w)
      endif()
    endforeach()
  endif()
endmacro()

# Every <dir>/*_test.cpp becomes one test executable named <dir>_<file>;
# further arguments name subfolders of <dir> whose tests are named the same
# way (tests/peer/napster/napster_client_test.cpp is peer_napster_client_test).
# A file may carry a line "// test-label: NAME" to label its test (the
# thread-sanitizer run takes the "concurrency" ones).
function(tarn_tests dir)
  file(GLOB tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*_test.cpp")
  foreach(sub ${ARGN})
    file(GLOB sub_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${sub}/*_test.cpp")
    list(APPEND tests ${sub_tests})
  endforeach()
  foreach(src ${tests})
    get_filename_component(base ${src} NAME_WE)
    set(target "${dir}_${base}")
    file(STRINGS ${src} label_lines REGEX "^// test-label: ")
    set(labels "")
    foreach(l ${label_lines})
      string(REGEX REPLACE "^// test-label: *" "" l "${l}")
      list(APPEND labels ${l})
    endforeach()
    if(TARN_ONLY_LABEL AND NOT TARN_ONLY_LABEL IN_LIST labels)
      continue()
    endif()
    add_executable(${target} ${src})
    target_link_libraries(${target} PRIVATE tarn_testsupport gmock gtest)
    target_precompile_headers(${target} REUSE_FROM tarn_testsupport)
    add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
    set_tests_properties(${target} PROPERTIES TIMEOUT 240
      ENVIRONMENT "TARN_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
    if(labels)
      set_tests_properties(${target} PROPERTIES LABELS "${labels}")
    endif()
  endforeach()
endfunction()
