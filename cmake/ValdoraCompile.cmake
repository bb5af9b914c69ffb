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

# valdora_module(name SOURCES ... DEPENDS ...)
# One static library per module; headers are included as "module/file.h".
function(valdora_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE valdora_compile_options)
endfunction()
