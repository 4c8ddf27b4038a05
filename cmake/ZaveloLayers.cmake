# The layers of the program and what each may use. The libraries are linked from this table's
# rules and a check at configure time fails when a link breaks them; tests/layers checks the
# same rules on the #include lines, which a link cannot see (every library shares src/ as its
# include root).
#
# Read top down: a layer may use the layers listed after it, never one above or beside it.
#   app -> ui -> export, mail -> mail/smtp, db, settings -> common
# export and mail stand side by side: the run reaches the mailing through interfaces of its
# own, which the generation window fills in.
set(ZAVELO_LAYERS common settings db mail/smtp mail export ui app)
set(ZAVELO_USES_common "")
set(ZAVELO_USES_settings common)
set(ZAVELO_USES_db common)
set(ZAVELO_USES_mail/smtp common)
set(ZAVELO_USES_mail mail/smtp db settings common)
set(ZAVELO_USES_export db settings common)
set(ZAVELO_USES_ui export mail mail/smtp db settings common)
set(ZAVELO_USES_app ui export mail mail/smtp db settings common)
# The layers below the windows: no Qt Gui or Widgets there, so that they run without a screen
# and the SMTP client stays usable by a service.
set(ZAVELO_WINDOWLESS_LAYERS common settings db mail/smtp mail export)

# The library of a layer folder: mail/smtp is zavelo_smtp, the others zavelo_<folder>.
function(zavelo_layer_library layer out)
  if(layer STREQUAL "mail/smtp")
    set(${out} zavelo_smtp PARENT_SCOPE)
  else()
    set(${out} zavelo_${layer} PARENT_SCOPE)
  endif()
endfunction()

# Everything target links, directly or through the libraries it links, as target names
# (aliases resolved). Generator expressions are searched for the target names in them, so a
# conditional link counts as a link.
function(_zavelo_link_closure target out)
  set(seen "")
  set(pending ${target})
  while(pending)
    list(POP_FRONT pending current)
    if(current IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${current})
    set(items "")
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(value ${current} ${property})
      if(value)
        list(APPEND items ${value})
      endif()
    endforeach()
    foreach(item IN LISTS items)
      string(REGEX MATCHALL "[A-Za-z0-9_.+-]+(::[A-Za-z0-9_.+-]+)?" names "${item}")
      foreach(name IN LISTS names)
        if(TARGET ${name})
          get_target_property(aliased ${name} ALIASED_TARGET)
          if(aliased)
            set(name ${aliased})
          endif()
          list(APPEND pending ${name})
        endif()
      endforeach()
    endforeach()
  endwhile()
  list(REMOVE_ITEM seen ${target})
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# Fails the configuration when a layer's library links a library of a layer it may not use,
# or, below the windows, Qt Gui or Widgets (also when they come through another library).
function(zavelo_check_layers)
  set(forbidden_qt Qt6::Gui Qt6::Widgets Qt6::GuiPrivate Qt6::WidgetsPrivate)
  foreach(layer IN LISTS ZAVELO_LAYERS)
    zavelo_layer_library(${layer} library)
    if(NOT TARGET ${library})
      message(FATAL_ERROR "The layer ${layer} has no library ${library}")
    endif()
    _zavelo_link_closure(${library} linked)
    foreach(other IN LISTS ZAVELO_LAYERS)
      zavelo_layer_library(${other} other_library)
      if(other_library IN_LIST linked AND NOT other IN_LIST ZAVELO_USES_${layer})
        message(FATAL_ERROR "${library} links ${other_library}: ${layer} may only use "
                            "'${ZAVELO_USES_${layer}}' (cmake/ZaveloLayers.cmake)")
      endif()
    endforeach()
    if(layer IN_LIST ZAVELO_WINDOWLESS_LAYERS)
      foreach(qt IN LISTS forbidden_qt)
        if(qt IN_LIST linked)
          message(FATAL_ERROR "${library} links ${qt}: ${layer} is below the windows and "
                              "uses neither Qt Gui nor Qt Widgets")
        endif()
      endforeach()
    endif()
  endforeach()
endfunction()
