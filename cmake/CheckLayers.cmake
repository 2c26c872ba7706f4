# Checks the GUI boundary and the layers of the program's code: cmake -DSOURCE_DIR=<tree> -P
# CheckLayers.cmake. Every .h and .cpp under platform/, engine/, displays/, controls/ and recorder/
# is read (tests/, tools/ and bench/ are not: they drive Qt Test and render offscreen, so they may
# include Qt and any header). Prints one line per breach and fails when there is any:
#   qt-outside    a Qt header included by a file outside platform/ui not named *_qt
#   qt-misnamed   a file named *_qt that includes no Qt header itself
#   qt-public     a public header of platform/ui (not *_qt.h) that includes Qt or names a Qt type
#   qt-header     a *_qt.h header included by a file that is neither a *_qt file nor in
#                 platform/ui, or a platform/ui *_qt.h header included from outside platform/ui
#   layer-up      an include that points up a layer, or across to a sibling of the same layer
#   posix-outside a file outside platform/ that includes a header of the system's own calls
#                 (<unistd.h>, <fcntl.h>, <sys/...>, <dirent.h>, <pwd.h>, <signal.h>, ...) or calls
#                 one of them by its global name (::open(, ::unlink(, ::sigaction(, ...); the
#                 string routines of <strings.h> are no system calls
# Layers, from the bottom: platform/system; platform/messages and platform/serial; platform/audio;
# platform/ui; engine; displays and controls (which do not include each other); recorder.

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<source tree> -P CheckLayers.cmake")
endif()

set(areas platform engine displays controls recorder)

# The layer of a path relative to the tree ("" for one outside the layered code), and the group of
# siblings it may not include across.
function(layer_of path out_rank out_group)
  set(rank "")
  set(group "")
  if(path MATCHES "^platform/system/")
    set(rank 0)
  elseif(path MATCHES "^platform/messages/")
    set(rank 1)
    set(group messages)
  elseif(path MATCHES "^platform/serial/")
    set(rank 1)
    set(group serial)
  elseif(path MATCHES "^platform/audio/")
    set(rank 2)
  elseif(path MATCHES "^platform/ui/")
    set(rank 3)
  elseif(path MATCHES "^engine/")
    set(rank 4)
  elseif(path MATCHES "^displays/")
    set(rank 5)
    set(group displays)
  elseif(path MATCHES "^controls/")
    set(rank 5)
    set(group controls)
  elseif(path MATCHES "^recorder/")
    set(rank 6)
  endif()
  set(${out_rank} "${rank}" PARENT_SCOPE)
  set(${out_group} "${group}" PARENT_SCOPE)
endfunction()

set(qt_include_regex "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z0-9_]*(/[^>\"]*)?|q[a-z0-9_]+\\.h)[>\"]")
# A Qt class or namespace (QImage, Qt::white) or one of Qt's global functions (qRgb, qApp).
set(qt_name_regex "(^|[^A-Za-z0-9_])(Q[A-Z][A-Za-z0-9_]*|Qt::|q[A-Z][A-Za-z]*[ \t]*\\(|qApp([^A-Za-z0-9_]|$))")

# Headers of the system's own calls, and the calls themselves by their global name.
set(posix_include_regex "^[ \t]*#[ \t]*include[ \t]*<(unistd|fcntl|dirent|pwd|grp|poll|termios|spawn|fnmatch|signal|pthread|dlfcn|pty|glob|semaphore|syslog|utime|sched|(sys|linux|netinet|arpa|alsa)/[A-Za-z0-9_/]+)\\.h>")
set(posix_call_regex "(^|[^A-Za-z0-9_:])::(open|openat|close|read|write|pread|pwrite|lseek|stat|lstat|fstat|fstatat|unlink|unlinkat|rename|renameat|renameat2|link|linkat|symlink|readlink|mkdir|mkdirat|rmdir|chmod|fchmod|chown|fchown|lchown|access|opendir|fdopendir|readdir|closedir|mkstemp|mkostemp|mkdtemp|fsync|fdatasync|ftruncate|truncate|flock|fcntl|ioctl|pipe|pipe2|dup|dup2|fork|execve|execvp|waitpid|kill|socket|bind|listen|accept|accept4|connect|poll|select|sigaction|getuid|geteuid|getgid|getpid|getpwuid|gethostname|getcwd|chdir|uname|sysconf|statfs|statvfs|fstatvfs|utimes|utimensat|realpath|mmap|munmap|isatty|setsid|gettimeofday)[ \t]*\\(")

set(files "")
foreach(area ${areas})
  file(GLOB_RECURSE found RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${area}/*.h ${SOURCE_DIR}/${area}/*.cpp)
  list(APPEND files ${found})
endforeach()
list(SORT files)

set(breaches "")
foreach(f ${files})
  file(READ ${SOURCE_DIR}/${f} text)
  # One list element per line: CMake's list separators and brackets must not split or join them.
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "[" "(" text "${text}")
  string(REPLACE "]" ")" text "${text}")
  string(REPLACE "\\" "/" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")

  get_filename_component(dir ${f} DIRECTORY)
  set(in_ui OFF)
  if(f MATCHES "^platform/ui/")
    set(in_ui ON)
  endif()
  set(named_qt OFF)
  if(f MATCHES "_qt\\.(h|cpp)$")
    set(named_qt ON)
  endif()
  set(public_ui OFF)
  if(in_ui AND f MATCHES "\\.h$" AND NOT named_qt)
    set(public_ui ON)
  endif()
  layer_of(${f} rank group)
  set(in_platform OFF)
  if(f MATCHES "^platform/")
    set(in_platform ON)
  endif()

  set(includes_qt OFF)
  set(named_in_public OFF)
  foreach(line IN LISTS lines)
    if(line MATCHES "${qt_include_regex}")
      set(includes_qt ON)
      if(NOT in_ui AND NOT named_qt)
        list(APPEND breaches "qt-outside ${f}: ${line}")
      endif()
      if(public_ui)
        list(APPEND breaches "qt-public ${f}: ${line}")
      endif()
      continue()
    endif()
    if(NOT in_platform)
      string(REGEX REPLACE "//.*" "" code "${line}")
      if(line MATCHES "${posix_include_regex}" OR code MATCHES "${posix_call_regex}")
        list(APPEND breaches "posix-outside ${f}: ${line}")
      endif()
    endif()
    if(public_ui AND NOT named_in_public)
      string(REGEX REPLACE "//.*" "" code "${line}")
      if(code MATCHES "${qt_name_regex}")
        set(named_in_public ON)
        list(APPEND breaches "qt-public ${f}: names ${CMAKE_MATCH_2}")
      endif()
    endif()
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(inc ${CMAKE_MATCH_1})
      # A name without a folder is the including file's neighbour when there is one (generated
      # headers such as the version are not part of the layers).
      if(NOT inc MATCHES "/" AND EXISTS ${SOURCE_DIR}/${dir}/${inc})
        set(inc ${dir}/${inc})
      endif()
      if(inc MATCHES "_qt\\.h$")
        if(inc MATCHES "^platform/ui/" AND NOT in_ui)
          list(APPEND breaches "qt-header ${f}: ${line}")
        elseif(NOT in_ui AND NOT named_qt)
          list(APPEND breaches "qt-header ${f}: ${line}")
        elseif(public_ui)
          list(APPEND breaches "qt-header ${f}: ${line}")
        endif()
      endif()
      layer_of(${inc} inc_rank inc_group)
      if(NOT rank STREQUAL "" AND NOT inc_rank STREQUAL "")
        if(inc_rank GREATER rank)
          list(APPEND breaches "layer-up ${f}: ${line}")
        elseif(inc_rank EQUAL rank AND NOT inc_group STREQUAL group)
          list(APPEND breaches "layer-up ${f}: ${line}")
        endif()
      endif()
    endif()
  endforeach()
  if(named_qt AND NOT includes_qt)
    list(APPEND breaches "qt-misnamed ${f}: includes no Qt header")
  endif()
endforeach()

list(LENGTH files scanned)
if(breaches)
  foreach(b ${breaches})
    message("${b}")
  endforeach()
  list(LENGTH breaches count)
  message(FATAL_ERROR "${count} breach(es) of the GUI boundary, the layers or the system boundary in ${scanned} files")
endif()
message("GUI boundary, layers and system boundary kept in ${scanned} files")
