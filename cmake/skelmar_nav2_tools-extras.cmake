# The exported library links OpenCV's core module; make its target known to consumers.
include("${skelmar_nav2_tools_DIR}/skelmar_opencv_modules.cmake")
