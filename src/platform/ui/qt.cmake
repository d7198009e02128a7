# The Qt 6 widgets backend of the window layer (included from this folder's CMakeLists.txt when SRD_WITH_QT).
find_package(Qt6 COMPONENTS Widgets)
find_package(X11)
if(Qt6_FOUND AND X11_FOUND)
  add_library(srd_platform_ui_qt STATIC ${CMAKE_CURRENT_LIST_DIR}/qt_ui_backend.cpp
                                        ${CMAKE_CURRENT_LIST_DIR}/qt_dialog_font.cpp
                                        ${CMAKE_CURRENT_LIST_DIR}/qt_icon.cpp
                                        ${CMAKE_CURRENT_LIST_DIR}/x_display_probe.cpp)
  srd_target_options(srd_platform_ui_qt)
  # Optimised builds inline Qt's own widget internals, where GCC's null-dereference analysis reports paths that
  # Qt rules out; the warning stays on for the rest of the program.
  target_compile_options(srd_platform_ui_qt PRIVATE -Wno-null-dereference)
  target_link_libraries(srd_platform_ui_qt PUBLIC srd_platform_ui Qt6::Widgets PRIVATE X11::X11)
else()
  message(STATUS "Qt 6 Widgets or Xlib not found: building without the Qt window backend")
endif()
