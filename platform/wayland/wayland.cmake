# Native Wayland backends, built when libwayland is there (then its scanner
# and the protocol files must be too); without it, or with
# -DTAVORINDLE_WAYLAND=OFF, the program is the X11 one alone.
option(TAVORINDLE_WAYLAND "Build the native Wayland backends (needs libwayland)" ON)

set(wayland_dir ${CMAKE_CURRENT_SOURCE_DIR}/wayland)
set(TAVORINDLE_HAVE_WAYLAND OFF)
if(TAVORINDLE_WAYLAND)
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(WAYLAND_CLIENT IMPORTED_TARGET GLOBAL wayland-client)
    pkg_check_modules(WAYLAND_SERVER IMPORTED_TARGET GLOBAL wayland-server)
    pkg_get_variable(WAYLAND_SCANNER wayland-scanner wayland_scanner)
  endif()
  # Debian ships the wlroots protocol files inside a source package of
  # Rust bindings, under a versioned folder.
  file(GLOB wlr_protocol_dirs /usr/share/cargo/registry/wayland-protocols-*/wlr-protocols/unstable)
  find_file(WLR_DATA_CONTROL_XML wlr-data-control-unstable-v1.xml PATHS ${wlr_protocol_dirs}
    /usr/share/wlr-protocols/unstable NO_DEFAULT_PATH)
  find_file(WLR_FOREIGN_TOPLEVEL_MANAGEMENT_XML wlr-foreign-toplevel-management-unstable-v1.xml
    PATHS ${wlr_protocol_dirs} /usr/share/wlr-protocols/unstable NO_DEFAULT_PATH)
  find_file(KDE_FAKE_INPUT_XML fake-input.xml PATHS /usr/share/plasma-wayland-protocols NO_DEFAULT_PATH)
  find_file(KDE_WINDOW_MANAGEMENT_XML plasma-window-management.xml PATHS /usr/share/plasma-wayland-protocols
    NO_DEFAULT_PATH)
  # Without libwayland the program is the X11 one. With it, a missing part
  # stops the build: a backend must not vanish without the builder asking.
  if(WAYLAND_CLIENT_FOUND)
    set(missing)
    if(NOT WAYLAND_SCANNER)
      list(APPEND missing "wayland-scanner (libwayland-dev)")
    endif()
    foreach(xml data-control foreign-toplevel-management)
      string(TOUPPER ${xml} var)
      string(REPLACE "-" "_" var "WLR_${var}_XML")
      if(NOT ${var})
        list(APPEND missing "wlr-${xml}-unstable-v1.xml (librust-wayland-protocols-wlr-dev, on Debian 12 librust-wayland-protocols-dev)")
      endif()
    endforeach()
    foreach(var KDE_FAKE_INPUT_XML KDE_WINDOW_MANAGEMENT_XML)
      if(NOT ${var})
        list(APPEND missing "${var} (plasma-wayland-protocols)")
      endif()
    endforeach()
    if(missing)
      list(JOIN missing ", " missing)
      message(FATAL_ERROR "libwayland is installed, but the native Wayland backends lack: ${missing}. "
        "Install them, or configure with -DTAVORINDLE_WAYLAND=OFF for the X11 program alone.")
    endif()
    set(TAVORINDLE_HAVE_WAYLAND ON)
  else()
    message(STATUS "Native Wayland backends not built: libwayland-dev is not installed")
  endif()
endif()

if(NOT TAVORINDLE_HAVE_WAYLAND)
  target_sources(tavorindle_platform PRIVATE ${wayland_dir}/wayland_backends.h
    ${wayland_dir}/wayland_backends_none.cpp)
  return()
endif()

enable_language(C)
set(protocol_out ${CMAKE_CURRENT_BINARY_DIR}/wayland-protocols)
file(MAKE_DIRECTORY ${protocol_out})
set(protocol_sources)
function(tavorindle_wayland_protocol name xml)
  set(code ${protocol_out}/${name}-protocol.c)
  set(client ${protocol_out}/${name}-client-protocol.h)
  set(server ${protocol_out}/${name}-server-protocol.h)
  add_custom_command(OUTPUT ${code} ${client} ${server}
    COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
    COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${client}
    COMMAND ${WAYLAND_SCANNER} server-header ${xml} ${server}
    DEPENDS ${xml} VERBATIM)
  set(protocol_sources ${protocol_sources} ${code} ${client} ${server} PARENT_SCOPE)
endfunction()
tavorindle_wayland_protocol(ext-data-control-v1 ${wayland_dir}/protocols/ext-data-control-v1.xml)
tavorindle_wayland_protocol(wlr-data-control-unstable-v1 ${WLR_DATA_CONTROL_XML})
tavorindle_wayland_protocol(wlr-foreign-toplevel-management-unstable-v1 ${WLR_FOREIGN_TOPLEVEL_MANAGEMENT_XML})
tavorindle_wayland_protocol(virtual-keyboard-unstable-v1
  ${wayland_dir}/protocols/virtual-keyboard-unstable-v1.xml)
tavorindle_wayland_protocol(fake-input ${KDE_FAKE_INPUT_XML})
tavorindle_wayland_protocol(plasma-window-management ${KDE_WINDOW_MANAGEMENT_XML})

# The interface tables, shared by the program and the test compositor.
add_library(tavorindle_wayland_protocols STATIC ${protocol_sources})
target_include_directories(tavorindle_wayland_protocols PUBLIC ${protocol_out})
target_link_libraries(tavorindle_wayland_protocols PUBLIC PkgConfig::WAYLAND_CLIENT)

file(GLOB wayland_sources CONFIGURE_DEPENDS ${wayland_dir}/*.h ${wayland_dir}/*.cpp)
list(REMOVE_ITEM wayland_sources ${wayland_dir}/wayland_backends_none.cpp)
target_sources(tavorindle_platform PRIVATE ${wayland_sources})
target_link_libraries(tavorindle_platform PRIVATE tavorindle_wayland_protocols PkgConfig::WAYLAND_CLIENT)
