# Qt's private widget headers (Debian: qt6-base-private-dev). With them the live table's row
# header keeps its section positions up to date as rows are appended, instead of Qt recounting
# every row's position after each one (a cost that grows with the log). An option that defaults
# on where the headers are found; without them the table works the same, only slower at
# millions of rows.

set(cellscribe_qt_private_default OFF)
if(TARGET Qt6::WidgetsPrivate)
    get_target_property(cellscribe_widgets_private_dirs Qt6::WidgetsPrivate
                        INTERFACE_INCLUDE_DIRECTORIES)
    foreach(dir IN LISTS cellscribe_widgets_private_dirs)
        if(EXISTS "${dir}/QtWidgets/private/qheaderview_p.h"
           OR EXISTS "${dir}/private/qheaderview_p.h")
            set(cellscribe_qt_private_default ON)
        endif()
    endforeach()
endif()
option(CELLSCRIBE_QT_PRIVATE "Use Qt's private widget headers where they speed up the table"
       ${cellscribe_qt_private_default})
