# TinyXML, the reader of buConfig.xml: the target `bu_tinyxml`.
#
# POSIX port: Debian's libtinyxml-dev, whose header defines TIXML_USE_STL
# itself (the library is built that way).
# Windows programs: Debian's tinyxml source with Debian's patches (security
# fixes included), built here as a static library for the architecture at
# hand. The source is unpacked into the build tree by scripts/fetch_source.sh;
# BU_TINYXML_SOURCE_DIR names an unpacked copy to use instead (the top-level
# build fetches once and hands it to both Windows builds).
# The fuzz build (BU_FUZZ) compiles the same source, so that the sanitizers
# and the fuzzer's coverage also see inside the parser our code drives.

# Unpacks (or refreshes) Debian's tinyxml source into `dir`.
function(bu_fetch_tinyxml_source dir)
  execute_process(
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/fetch_source.sh tinyxml ${dir}
    RESULT_VARIABLE fetched)
  if(NOT fetched EQUAL 0)
    message(FATAL_ERROR "could not get Debian's tinyxml source into ${dir}")
  endif()
endfunction()

if(WIN32 OR BU_FUZZ)
  set(BU_TINYXML_SOURCE_DIR "" CACHE PATH "Unpacked Debian tinyxml source (fetched when empty)")
  set(source_dir ${BU_TINYXML_SOURCE_DIR})
  if(NOT source_dir)
    set(source_dir ${CMAKE_BINARY_DIR}/third_party/tinyxml)
    bu_fetch_tinyxml_source(${source_dir})
  endif()
  add_library(bu_tinyxml STATIC
    ${source_dir}/tinystr.cpp
    ${source_dir}/tinyxml.cpp
    ${source_dir}/tinyxmlerror.cpp
    ${source_dir}/tinyxmlparser.cpp)
  target_include_directories(bu_tinyxml SYSTEM PUBLIC ${source_dir})
  target_compile_definitions(bu_tinyxml PUBLIC TIXML_USE_STL)
  # Third-party code: its warnings are not ours to fix.
  target_compile_options(bu_tinyxml PRIVATE -w)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(BU_TINYXML REQUIRED IMPORTED_TARGET tinyxml)
  add_library(bu_tinyxml INTERFACE)
  target_link_libraries(bu_tinyxml INTERFACE PkgConfig::BU_TINYXML)
endif()
