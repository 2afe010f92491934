# Provides the imported targets opencv_<module> for the OpenCV modules named in
# SKELMAR_OPENCV_MODULES (default: core). OpenCV's own CMake package comes only with the
# full development package (every module, with hundreds of dependencies on Debian); the
# single-module packages ship headers and libraries alone, so find those directly when the
# package is absent.
if(NOT SKELMAR_OPENCV_MODULES)
  set(SKELMAR_OPENCV_MODULES core)
endif()

find_package(OpenCV QUIET COMPONENTS ${SKELMAR_OPENCV_MODULES})
if(NOT OpenCV_FOUND)
  find_path(SKELMAR_OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
  if(NOT SKELMAR_OPENCV_INCLUDE_DIR)
    message(FATAL_ERROR "OpenCV headers not found (Debian: libopencv-core-dev)")
  endif()
  foreach(module IN LISTS SKELMAR_OPENCV_MODULES)
    if(TARGET opencv_${module})
      continue()
    endif()
    find_library(SKELMAR_OPENCV_${module}_LIBRARY opencv_${module})
    if(NOT SKELMAR_OPENCV_${module}_LIBRARY)
      message(FATAL_ERROR "OpenCV module ${module} not found (Debian: libopencv-${module}-dev)")
    endif()
    add_library(opencv_${module} SHARED IMPORTED)
    set_target_properties(opencv_${module} PROPERTIES
      IMPORTED_LOCATION "${SKELMAR_OPENCV_${module}_LIBRARY}"
      INTERFACE_INCLUDE_DIRECTORIES "${SKELMAR_OPENCV_INCLUDE_DIR}")
  endforeach()
endif()
