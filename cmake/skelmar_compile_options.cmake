# Compiler options shared by the library and the stand-ins of the robot's packages: warnings,
# warnings as errors (SKELMAR_WERROR) and the sanitizer builds (SKELMAR_SANITIZE: address or thread).
add_compile_options(-Wall -Wextra -Wpedantic)
if(SKELMAR_WERROR)
  add_compile_options(-Werror)
endif()
if(SKELMAR_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # With the sanitizers' instrumentation GCC 12 reports false maybe-uninitialized warnings
  # inside libstdc++ (std::regex, std::function); the plain build keeps the warning.
  add_compile_options(-Wno-maybe-uninitialized)
elseif(SKELMAR_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  add_compile_options(-Wno-maybe-uninitialized)
elseif(DEFINED SKELMAR_SANITIZE AND NOT SKELMAR_SANITIZE STREQUAL "")
  message(FATAL_ERROR "SKELMAR_SANITIZE must be empty, 'address' or 'thread', not '${SKELMAR_SANITIZE}'")
endif()

# Makes __FILE__ in the sources of TARGET read "./<path in the repository>", whatever the build
# directory: the compiler sees a source by its absolute path, or by a path relative to the
# build directory where a compiler cache rewrites paths under its base directory.
function(skelmar_name_sources_from_root target)
  get_target_property(binary_dir ${target} BINARY_DIR)
  file(RELATIVE_PATH relative_root "${binary_dir}" "${PROJECT_SOURCE_DIR}")
  string(REGEX REPLACE "/$" "" relative_root "${relative_root}")
  target_compile_options(${target} PRIVATE "-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=./")
  if(relative_root)  # empty in a build inside the sources, where no cache rewrites paths
    target_compile_options(${target} PRIVATE "-fmacro-prefix-map=${relative_root}/=./")
  endif()
endfunction()
