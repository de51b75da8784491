# What each part of the build compiles, in one place: CMakeLists.txt builds from these lists, and
# scripts/check-macos syntax-checks everything the Apple build takes from them.

# The behaviour of the module, free of any Python header: everything GoogleTest can reach.
set(PELORIX_CORE_SOURCES
  src/error/ax_error.cpp
  src/accessibility/primitives.cpp
  src/app/ax_app.cpp
  src/app/connect.cpp
  src/app/find_all.cpp
  src/app/query.cpp
  src/app/screenshot.cpp
  src/app/search.cpp
  src/app/tree_walk.cpp
  src/util/text.cpp
  src/util/unicode.cpp
  src/element/actions.cpp
  src/element/ax_element.cpp
  src/element/element_search.cpp
  src/element/keyboard.cpp
  src/element/keys.cpp
  src/element/pointer.cpp
  src/element/screenshot.cpp
  src/element/tree_reads.cpp
  src/element/typing.cpp
  src/healing/healing_config.cpp
  src/inspect/inspection.cpp
  src/platform/capture.cpp
  src/platform/call_bounds.cpp
  src/platform/clock.cpp
  src/platform/failure_detail.cpp
  src/platform/host.cpp
  src/platform/host_commands.cpp
  src/platform/process.cpp
  src/sync/heuristic_sync.cpp
  src/sync/runtime.cpp
  src/sync/serenix_client.cpp
  src/sync/sync_engine.cpp
)
# On Apple systems the frameworks are the platform; these add what pelorix owns there.
set(PELORIX_CORE_APPLE_SOURCES
)
# Elsewhere: our own Core Foundation object model and the desktop backends behind it (the real
# desktop through AT-SPI2 and X11, and the simulated one).
set(PELORIX_CORE_LINUX_SOURCES
  src/platform/atspi/actions.cpp
  src/platform/atspi/attributes.cpp
  src/platform/atspi/bus.cpp
  src/platform/atspi/batch.cpp
  src/platform/atspi/cache_items.cpp
  src/platform/atspi/children.cpp
  src/platform/atspi/shown_children.cpp
  src/platform/atspi/desktop.cpp
  src/platform/atspi/element.cpp
  src/platform/atspi/host.cpp
  src/platform/atspi/mapping.cpp
  src/platform/atspi/match_rule.cpp
  src/platform/atspi/outline.cpp
  src/platform/atspi/pipeline.cpp
  src/platform/atspi/reads.cpp
  src/platform/atspi/requests.cpp
  src/platform/atspi/text.cpp
  src/platform/atspi/values.cpp
  src/platform/atspi/windows.cpp
  src/platform/atspi/writes.cpp
  src/platform/atspi/x11.cpp
  src/platform/atspi/x11_input.cpp
  src/platform/core_foundation.cpp
  src/platform/accessibility.cpp
  src/platform/events.cpp
  src/platform/read_scope.cpp
  src/platform/xpc.cpp
  src/platform/backend.cpp
)
# The simulated desktop the tests drive (with PELORIX_SIMULATED_DESKTOP only).
set(PELORIX_CORE_SIM_SOURCES
  src/platform/sim/desktop.cpp
  src/platform/sim/element.cpp
)

# The binding: the only files that include Python.h.
set(PELORIX_MODULE_SOURCES
  src/lib/module.cpp
  src/lib/arguments.cpp
  src/lib/python_errors.cpp
  src/lib/action_mode.cpp
  src/app/app_type.cpp
  src/element/element_type.cpp
  src/healing/healing_type.cpp
  # The C interface the companion package calls (the one entry exported beside the init
  # function), and pelorix-inspect's requests it hands out.
  src/lib/capi.cpp
  src/lib/capi_input.cpp
  src/inspect/entry.cpp
)
set(PELORIX_MODULE_APPLE_SOURCES
)
# The simulated desktop's entry points for the Python tests.
set(PELORIX_MODULE_SIM_SOURCES
  src/platform/sim/harness.cpp
)

# As a script (cmake -DPELORIX_LIST_OUTPUT=<file> -P cmake/sources.cmake): writes what the Apple
# build compiles to <file>, a line "core <path>" or "module <path>" each, the module's sources
# being the binding, the only ones that see Python.h.
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  set(lines "")
  foreach(source IN LISTS PELORIX_CORE_SOURCES PELORIX_CORE_APPLE_SOURCES)
    string(APPEND lines "core ${source}\n")
  endforeach()
  foreach(source IN LISTS PELORIX_MODULE_SOURCES PELORIX_MODULE_APPLE_SOURCES)
    string(APPEND lines "module ${source}\n")
  endforeach()
  file(WRITE "${PELORIX_LIST_OUTPUT}" "${lines}")
endif()
