# The UnRAR library: the interface our code compiles against (`bu_unrar_api`:
# <unrar/dll.hpp>, whose record layouts and calling convention are the
# library's own on each platform) and, for the Windows programs, the package's
# `unrar.dll` itself (target `unrar`).
#
# POSIX port: Debian's libunrar-dev; the package's file is a signed copy of
# libunrar.so.5 (BU_UNRAR_LIBRARY), still named unrar.dll.
# Windows programs: Debian's unrar-nonfree source with Debian's patches
# (security fixes included), built here into unrar.dll for the architecture at
# hand. The source is unpacked into the build tree by scripts/fetch_source.sh;
# BU_UNRAR_SOURCE_DIR names an unpacked copy to use instead (the top-level
# build fetches once and hands it to both Windows builds).

# Unpacks (or refreshes) Debian's unrar-nonfree source into `dir`.
function(bu_fetch_unrar_source dir)
  execute_process(
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/fetch_source.sh unrar-nonfree ${dir}
    RESULT_VARIABLE fetched)
  if(NOT fetched EQUAL 0)
    message(FATAL_ERROR "could not get Debian's unrar-nonfree source into ${dir}")
  endif()
endfunction()

add_library(bu_unrar_api INTERFACE)

if(WIN32)
  set(BU_UNRAR_SOURCE_DIR "" CACHE PATH "Unpacked Debian unrar-nonfree source (fetched when empty)")
  set(unrar_dir ${BU_UNRAR_SOURCE_DIR})
  if(NOT unrar_dir)
    set(unrar_dir ${CMAKE_BINARY_DIR}/third_party/unrar)
    bu_fetch_unrar_source(${unrar_dir})
  endif()

  # The files of the library's DLL project: the makefile's OBJECTS and
  # LIB_OBJ, plus the two Windows-only files that project adds.
  set(unrar_files
    rar strlist strfn pathfn smallfn global file filefn filcreat archive arcread unicode
    system crypt crc rawread encname resource match timefn rdwrfn consio options errhnd
    rarvm secpassword rijndael getbits sha1 sha256 blake2s hash extinfo extract volume
    list find unpack headers threadpool rs16 cmddata ui
    filestr scantree dll qopen
    isnt rs)
  list(TRANSFORM unrar_files PREPEND ${unrar_dir}/)
  list(TRANSFORM unrar_files APPEND .cpp)

  # Compiles a patched copy of one source file instead of the original:
  # each OLD text is replaced by its NEW text. A source in which an OLD text
  # is not found stops the build rather than dropping the fix unnoticed.
  #   bu_patch_unrar_source(<file> <what> OLD NEW [OLD NEW ...])
  function(bu_patch_unrar_source file what)
    file(READ ${unrar_dir}/${file} source)
    # ARGV<n> one by one: a text may hold ';', which would split a list.
    set(i 2)
    while(i LESS ARGC)
      math(EXPR j "${i} + 1")
      set(old "${ARGV${i}}")
      set(new "${ARGV${j}}")
      string(FIND "${source}" "${old}" found)
      if(found EQUAL -1)
        message(FATAL_ERROR "unrar ${file}: ${what} no longer reads as expected")
      endif()
      string(REPLACE "${old}" "${new}" source "${source}")
      math(EXPR i "${i} + 2")
    endwhile()
    set(patched ${CMAKE_BINARY_DIR}/unrar_patched/${file})
    file(WRITE ${patched}.new "${source}")
    file(COPY_FILE ${patched}.new ${patched} ONLY_IF_DIFFERENT)
    file(REMOVE ${patched}.new)
    list(TRANSFORM unrar_files REPLACE "^${unrar_dir}/${file}$" ${patched})
    set(unrar_files ${unrar_files} PARENT_SCOPE)
  endfunction()

  # The Windows branch of File::Write takes a WriteFile that wrote less than
  # asked (a full disk) for success, so a file cut short would count as
  # extracted: every byte must be written.
  bu_patch_unrar_source(file.cpp "the Windows write"
    "Success=WriteFile(hFile,Data,(DWORD)Size,&Written,NULL)==TRUE;"
    "Success=WriteFile(hFile,Data,(DWORD)Size,&Written,NULL)==TRUE && Written==Size;")
  # After each file the library applies the archive's NTFS stream headers,
  # appending the stored stream name to the file's path after checking only
  # that it begins with ':'. A name such as ":x\..\..\y" then creates a file
  # outside the destination. A stream name may hold no separator and no
  # second ':'; anything else fails the file as a broken stream does. The
  # code lives in win32stm.cpp, which extinfo.cpp includes: a copy of
  # extinfo.cpp beside the patched file includes the patched one.
  bu_patch_unrar_source(win32stm.cpp "the stream name check"
    "Arc.StreamHead.StreamName[0]!=':')"
    "Arc.StreamHead.StreamName[0]!=':' || strpbrk(Arc.StreamHead.StreamName+1,\"\\\\/:\")!=NULL)"
    "if (*StreamName!=':')"
    "if (*StreamName!=':' || wcspbrk(StreamName+1,L\"\\\\/:\")!=NULL)")
  bu_patch_unrar_source(extinfo.cpp "the file that includes the stream code")

  # The sources name two SDK headers in mixed case; MinGW ships them in lower
  # case, and the build host's file system tells the two apart.
  set(unrar_compat ${CMAKE_BINARY_DIR}/unrar_compat)
  file(WRITE ${unrar_compat}/PowrProf.h.new "#include <powrprof.h>\n")
  file(WRITE ${unrar_compat}/Wbemidl.h.new "#include <wbemidl.h>\n")
  foreach(header PowrProf.h Wbemidl.h)
    file(COPY_FILE ${unrar_compat}/${header}.new ${unrar_compat}/${header} ONLY_IF_DIFFERENT)
    file(REMOVE ${unrar_compat}/${header}.new)
  endforeach()

  add_library(unrar SHARED ${unrar_files} ${unrar_dir}/dll.def
    ${PROJECT_SOURCE_DIR}/src/platform/unrar_api_com_util_win.cpp)
  set_target_properties(unrar PROPERTIES PREFIX "" OUTPUT_NAME unrar)
  target_include_directories(unrar SYSTEM PRIVATE ${unrar_compat} ${unrar_dir})
  target_compile_definitions(unrar PRIVATE RARDLL UNRAR SILENT _FILE_OFFSET_BITS=64)
  # Third-party code: its warnings are not ours to fix.
  target_compile_options(unrar PRIVATE -O2 -w)
  # Only system DLLs may be imported, as by the program itself; the 32-bit
  # exports are stdcall, and dll.def names them undecorated.
  target_link_options(unrar PRIVATE -static -static-libgcc -static-libstdc++
                      -Wl,--enable-stdcall-fixup)
  target_link_libraries(unrar PRIVATE powrprof shlwapi wbemuuid ole32 oleaut32 uuid)

  # Our code sees only the library's interface header, under the same name
  # as on POSIX.
  configure_file(${unrar_dir}/dll.hpp ${CMAKE_BINARY_DIR}/unrar_api/unrar/dll.hpp COPYONLY)
  target_include_directories(bu_unrar_api SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/unrar_api)
else()
  find_path(BU_UNRAR_INCLUDE_DIR unrar/dll.hpp REQUIRED)
  find_library(BU_UNRAR_LIBRARY NAMES libunrar.so.5 REQUIRED)
  target_include_directories(bu_unrar_api SYSTEM INTERFACE ${BU_UNRAR_INCLUDE_DIR})
endif()

# Which header of the port includes <unrar/dll.hpp> and how.
target_include_directories(bu_unrar_api INTERFACE
  ${PROJECT_SOURCE_DIR}/src/platform/unrar_api_${BU_PORT})
