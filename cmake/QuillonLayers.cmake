# The layers of src/ and the directions in which they may link. A target's
# layer is the first folder below src/ that holds its CMakeLists.txt, so a new
# module in a known layer needs nothing here; a new layer does.
#
#   common    what the product and the uninstaller both read (the layout)
#   platform  stand-ins for the platform services
#   core      the core modules, with no window system
#   app       the front ends
#   product   the product's installer and removal tools
#   tools     the helper tool
#
# A layer may link its own targets and those of the layers listed for it.
# Linking upward (core to app, platform to core), the product to the
# uninstaller or back, or Qt below the front ends, fails the configure.
include_guard(GLOBAL)

set(QUILLON_LAYERS common platform core app product tools)
set(QUILLON_LAYER_USES_common)
set(QUILLON_LAYER_USES_platform common)
set(QUILLON_LAYER_USES_core platform common)
set(QUILLON_LAYER_USES_app core platform common)
set(QUILLON_LAYER_USES_product common)
set(QUILLON_LAYER_USES_tools core platform common)
# Targets every layer may link: the UNIX utilities (one strict reading of
# UTF-8, text made safe to show, starting a child), which link nothing of ours
# themselves, so that no arrow can run back through them.
set(QUILLON_LAYER_BASE_TARGETS quillon_moreunix)
# Layers none of whose targets may reach Qt, directly or through another target.
set(QUILLON_LAYERS_WITHOUT_QT common core product tools)

# Collects the targets of |dir| and of every folder added below it.
function(_quillon_layer_targets dir out)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _quillon_layer_targets("${sub}" more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# The targets that |target| links, by their real names; what is not a target
# (a system library such as dl) is left out.
function(_quillon_layer_links target out)
  set(links)
  get_target_property(type ${target} TYPE)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(direct ${target} LINK_LIBRARIES)
    if(direct)
      list(APPEND links ${direct})
    endif()
  endif()
  get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
  if(interface)
    list(APPEND links ${interface})
  endif()
  set(result)
  foreach(item IN LISTS links)
    # Static libraries pass their private links on as $<LINK_ONLY:name>.
    if(item MATCHES "^\\$<LINK_ONLY:([^$<>]+)>$")
      set(item "${CMAKE_MATCH_1}")
    elseif(item MATCHES "\\$<")
      message(FATAL_ERROR "${target} links \"${item}\": the layer check cannot read a generator "
                          "expression there; link plain target names")
    endif()
    if(TARGET "${item}")
      get_target_property(aliased "${item}" ALIASED_TARGET)
      if(aliased)
        set(item "${aliased}")
      endif()
      list(APPEND result "${item}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES result)
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# The layer of |target|, or "" for a target outside |root| (tests, imported).
function(_quillon_layer_of target root out)
  set(layer "")
  get_target_property(imported ${target} IMPORTED)
  if(NOT imported)
    get_target_property(dir ${target} SOURCE_DIR)
    string(FIND "${dir}/" "${root}/" at)
    if(at EQUAL 0)
      file(RELATIVE_PATH rel "${root}" "${dir}")
      string(REGEX REPLACE "/.*" "" layer "${rel}")
    endif()
  endif()
  set(${out} "${layer}" PARENT_SCOPE)
endfunction()

# quillon_check_layers(ROOT): checks every target defined below the current
# folder whose sources lie below ROOT (the src/ folder).
function(quillon_check_layers root)
  _quillon_layer_targets("${CMAKE_CURRENT_SOURCE_DIR}" targets)
  foreach(target IN LISTS targets)
    _quillon_layer_of(${target} "${root}" layer)
    if(layer STREQUAL "")
      continue()
    endif()
    if(NOT layer IN_LIST QUILLON_LAYERS)
      message(FATAL_ERROR "${target}: src/${layer} is not a layer that cmake/QuillonLayers.cmake knows; "
                          "add it there with the layers it may link")
    endif()
    list(JOIN QUILLON_LAYER_USES_${layer} ", " allowed)
    if(allowed STREQUAL "")
      set(allowed "nothing else")
    endif()
    _quillon_layer_links(${target} links)
    foreach(dep IN LISTS links)
      _quillon_layer_of(${dep} "${root}" dep_layer)
      if(dep_layer STREQUAL "" OR dep_layer STREQUAL layer)
        continue()
      endif()
      if(target IN_LIST QUILLON_LAYER_BASE_TARGETS)
        message(FATAL_ERROR "${target} links ${dep} (src/${dep_layer}): every layer may link ${target}, "
                            "so it may link nothing of ours")
      endif()
      if(dep IN_LIST QUILLON_LAYER_BASE_TARGETS)
        continue()
      endif()
      if(NOT dep_layer IN_LIST QUILLON_LAYER_USES_${layer})
        message(FATAL_ERROR "${target} (src/${layer}) links ${dep} (src/${dep_layer}): src/${layer} may link "
                            "only src/${layer} and ${allowed}; this arrow runs the wrong way")
      endif()
    endforeach()
    # A folder of another layer on the include path is an arrow as well.
    set(dirs)
    get_target_property(type ${target} TYPE)
    foreach(property INCLUDE_DIRECTORIES INTERFACE_INCLUDE_DIRECTORIES)
      if(NOT (type STREQUAL "INTERFACE_LIBRARY" AND property STREQUAL "INCLUDE_DIRECTORIES"))
        get_target_property(more ${target} ${property})
        if(more)
          list(APPEND dirs ${more})
        endif()
      endif()
    endforeach()
    foreach(dir IN LISTS dirs)
      string(FIND "${dir}/" "${root}/" at)
      if(NOT at EQUAL 0)
        continue()
      endif()
      file(RELATIVE_PATH rel "${root}" "${dir}")
      string(REGEX REPLACE "/.*" "" dep_layer "${rel}")
      if(NOT dep_layer STREQUAL layer AND NOT dep_layer IN_LIST QUILLON_LAYER_USES_${layer})
        message(FATAL_ERROR "${target} (src/${layer}) includes src/${rel}: src/${layer} may use "
                            "only src/${layer} and ${allowed}; this arrow runs the wrong way")
      endif()
    endforeach()
    # Qt anywhere below a layer that must not reach it.
    if(layer IN_LIST QUILLON_LAYERS_WITHOUT_QT)
      set(seen ${target})
      set(queue ${target})
      string(MAKE_C_IDENTIFIER "${target}" target_id)
      set(path_${target_id} ${target})
      while(queue)
        list(POP_FRONT queue current)
        string(MAKE_C_IDENTIFIER "${current}" current_id)
        _quillon_layer_links(${current} links)
        foreach(dep IN LISTS links)
          if(dep IN_LIST seen)
            continue()
          endif()
          list(APPEND seen ${dep})
          string(MAKE_C_IDENTIFIER "${dep}" dep_id)
          set(path_${dep_id} "${path_${current_id}} -> ${dep}")
          if(dep MATCHES "^Qt[0-9]*::")
            message(FATAL_ERROR "${target} (src/${layer}) reaches Qt: ${path_${dep_id}}; "
                                "only src/app and src/platform may use Qt")
          endif()
          _quillon_layer_of(${dep} "${root}" dep_layer)
          if(NOT dep_layer STREQUAL "")
            list(APPEND queue ${dep})
          endif()
        endforeach()
      endwhile()
    endif()
  endforeach()
endfunction()
