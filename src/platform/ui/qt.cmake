# The Qt 6 widgets backend of the window layer (included from this folder's CMakeLists.txt when SRD_WITH_QT).
find_package(Qt6 COMPONENTS Widgets REQUIRED)
find_package(X11 REQUIRED)
# Which Qt platform can show a window here, asked before Qt starts; the sender's capture window uses it too.
add_library(srd_qt_platform_choice STATIC qt_platform_choice.cpp x_display_probe.cpp)
srd_target_options(srd_qt_platform_choice)
set_target_properties(srd_qt_platform_choice PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(srd_qt_platform_choice PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(srd_qt_platform_choice PUBLIC Qt6::Core PRIVATE X11::X11)

# The backend's code, compiled once for its two users: the module the program loads when it has a display, and
# the static library with which the tests and the picture renderer link it straight to the layer.
add_library(srd_platform_ui_qt_code OBJECT
  qt_ui_backend.cpp qt_widgets.cpp qt_widget_factory.cpp qt_event_pump.cpp qt_caret_blink.cpp
  qt_dialog_font.cpp qt_icon.cpp)
srd_target_options(srd_platform_ui_qt_code)
set_target_properties(srd_platform_ui_qt_code PROPERTIES POSITION_INDEPENDENT_CODE ON)
# Optimised builds inline Qt's own widget internals, where GCC's null-dereference analysis reports paths that
# Qt rules out; the warning stays on for the rest of the program.
target_compile_options(srd_platform_ui_qt_code PRIVATE -Wno-null-dereference)
target_include_directories(srd_platform_ui_qt_code PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(srd_platform_ui_qt_code PUBLIC Qt6::Widgets PRIVATE srd_qt_platform_choice)

add_library(srd_platform_ui_qt STATIC $<TARGET_OBJECTS:srd_platform_ui_qt_code>)
srd_target_options(srd_platform_ui_qt)
target_include_directories(srd_platform_ui_qt PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(srd_platform_ui_qt PUBLIC srd_platform_ui Qt6::Widgets PRIVATE srd_qt_platform_choice)

# The module: the same code with the layer's entry points forwarded to the program's layer, and no layer of its
# own (it does not link srd_platform_ui).
srd_add_module(srd_ui_qt_module FILE strokerelayd-qt SOURCES qt_ui_module.cpp $<TARGET_OBJECTS:srd_platform_ui_qt_code>
               LIBS Qt6::Widgets srd_qt_platform_choice)
target_compile_options(srd_ui_qt_module PRIVATE -Wno-null-dereference)
