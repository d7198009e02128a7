# The Qt 6 widgets backend of the window layer (included from this folder's CMakeLists.txt when SRD_WITH_QT).
find_package(Qt6 COMPONENTS Widgets REQUIRED)
find_package(X11 REQUIRED)
add_library(srd_platform_ui_qt STATIC
  qt_ui_backend.cpp qt_widgets.cpp qt_widget_factory.cpp qt_event_pump.cpp qt_platform_choice.cpp qt_caret_blink.cpp
  qt_dialog_font.cpp qt_icon.cpp x_display_probe.cpp)
srd_target_options(srd_platform_ui_qt)
# Optimised builds inline Qt's own widget internals, where GCC's null-dereference analysis reports paths that
# Qt rules out; the warning stays on for the rest of the program.
target_compile_options(srd_platform_ui_qt PRIVATE -Wno-null-dereference)
target_link_libraries(srd_platform_ui_qt PUBLIC srd_platform_ui Qt6::Widgets PRIVATE X11::X11 srd_platform_sys)
