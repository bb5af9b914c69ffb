# Warning flags and sanitizers shared by every target of the project.

add_library(valdora_compile_options INTERFACE)
target_compile_options(valdora_compile_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Wunused -Woverloaded-virtual -Wnull-dereference
  -Wimplicit-fallthrough)
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # The log's Turkish formats are literals converted at compile time
  # (_cp1254); clang does not see them as string literals.
  target_compile_options(valdora_compile_options INTERFACE -Wno-format-security)
endif()
if(VALDORA_WERROR)
  target_compile_options(valdora_compile_options INTERFACE -Werror)
endif()

if(VALDORA_FUZZ)
  # Every library takes libFuzzer's coverage; the fuzz targets link the
  # fuzzer itself.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(VALDORA_SANITIZE)
  set(_valdora_san -fsanitize=address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
  add_compile_options(${_valdora_san})
  add_link_options(-fsanitize=address,undefined)
endif()

# valdora_include_root(target dir)
# Gives `target` and whoever links it the headers of the source folder `dir`
# as "dir/file.h", and nothing else: a folder of the build that holds one
# link, named `dir`, to that source folder. An include of a module that is
# not linked fails to build.
function(valdora_include_root target dir)
  set(root ${PROJECT_BINARY_DIR}/include/${dir})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${dir} ${root}/${dir} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# valdora_module(name SOURCES ... DEPENDS ...)
# One static library per module, its headers included as "folder/file.h"
# (the folder of the CMakeLists.txt that declares it).
function(valdora_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  get_filename_component(dir ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  valdora_include_root(${name} ${dir})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE valdora_compile_options)
endfunction()
