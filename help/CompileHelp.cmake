# Compiles the help project with chmcmd inside a private file-system view
# whose root is the folder of the help sources. chmcmd writes its project
# folder in front of every page it names in the context map; with the
# sources at "/" a page is named "/settings.html", its name inside the help
# file, which is what the viewer looks up. The view is a user namespace
# (unshare -r --root, no privilege needed); where user namespaces are
# refused, root uses chroot.
#
# cmake -DCHMCMD=... -DROOT=<empty folder> -DSOURCES=<;-list> -DPROJECT=x.hhp
#       -DOUTPUT=<file.chm> -P CompileHelp.cmake
foreach(variable CHMCMD ROOT SOURCES PROJECT OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "CompileHelp.cmake needs -D${variable}=...")
  endif()
endforeach()

file(REMOVE_RECURSE ${ROOT})
file(MAKE_DIRECTORY ${ROOT}/bin)
file(COPY ${SOURCES} DESTINATION ${ROOT})
get_filename_component(compiler_name ${CHMCMD} NAME)
file(REAL_PATH ${CHMCMD} compiler_file)
configure_file(${compiler_file} ${ROOT}/bin/${compiler_name} COPYONLY)

# The libraries chmcmd links, at the paths the loader looks for them, plus
# libpthread, which the Free Pascal runtime loads while it starts.
execute_process(COMMAND ldd ${CHMCMD} OUTPUT_VARIABLE linked RESULT_VARIABLE ldd_result)
if(NOT ldd_result EQUAL 0)
  message(FATAL_ERROR "ldd ${CHMCMD} failed: chmcmd must be a dynamically linked program")
endif()
string(REGEX MATCHALL "(^|[ \t])/[^ \t\n]+" libraries "${linked}")
set(copied)
foreach(library ${libraries})
  string(STRIP "${library}" library)
  list(APPEND copied ${library})
  get_filename_component(folder ${library} DIRECTORY)
  if(library MATCHES "/libc\\.so\\.[0-9]+$")
    foreach(extra libpthread.so.0 libdl.so.2)
      if(EXISTS ${folder}/${extra})
        list(APPEND copied ${folder}/${extra})
      endif()
    endforeach()
  endif()
endforeach()
foreach(library ${copied})
  get_filename_component(folder ${library} DIRECTORY)
  get_filename_component(name ${library} NAME)
  file(MAKE_DIRECTORY ${ROOT}${folder})
  # The file itself, not a link that would point outside the view.
  file(REAL_PATH ${library} real)
  configure_file(${real} ${ROOT}${folder}/${name} COPYONLY)
endforeach()

set(command /bin/${compiler_name} --no-html-scan --verbosity 1 ${PROJECT})
find_program(UNSHARE unshare)
set(result 1)
if(UNSHARE)
  execute_process(COMMAND ${UNSHARE} -r --root=${ROOT} --wd=/ ${command} RESULT_VARIABLE result
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
endif()
if(NOT result EQUAL 0)
  execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
  find_program(CHROOT chroot PATHS /usr/sbin /sbin)
  if(uid STREQUAL "0" AND CHROOT)
    message(STATUS "unshare -r --root failed (${result}): ${err}; compiling under chroot")
    # chroot starts the program in the new root's "/".
    execute_process(COMMAND ${CHROOT} ${ROOT} ${command} RESULT_VARIABLE result OUTPUT_VARIABLE out
                    ERROR_VARIABLE err)
  endif()
endif()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "chmcmd could not compile ${PROJECT} in a private view of ${ROOT} "
                      "(unshare -r --root, or chroot as root): ${result}\n${out}${err}")
endif()
string(REGEX REPLACE "\\.hhp$" ".chm" compiled ${PROJECT})
if(NOT EXISTS ${ROOT}/${compiled})
  message(FATAL_ERROR "chmcmd wrote no ${compiled}:\n${out}${err}")
endif()
configure_file(${ROOT}/${compiled} ${OUTPUT} COPYONLY)
