# skelmar_has_header(<target> <header> <result>): whether an imported target offers a header.
# Some tests and fuzz targets reach into parts that exist only in the host-mode underlay (the
# map loader, the argument parser, the parameter store).
function(skelmar_has_header target header result)
  set(found FALSE)
  if(TARGET ${target})
    get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
    foreach(dir IN LISTS dirs)
      if(EXISTS "${dir}/${header}")
        set(found TRUE)
      endif()
    endforeach()
  endif()
  set(${result} ${found} PARENT_SCOPE)
endfunction()
