# Precompiled Qt headers: parsing Qt's headers is most of a clean build's time, and CI builds
# the project from scratch twice. Sources keep including what they use; the Windows syntax
# check compiles them without these headers, so a missing include still shows there.
#   cellscribe_precompile(<target> CORE|GUI|TEST_CORE|TEST_GUI)
option(CELLSCRIBE_PCH "Precompile the Qt headers (faster clean builds)" ON)

set(cellscribe_pch_core
    <QByteArray> <QDateTime> <QDebug> <QDir> <QElapsedTimer> <QFile> <QFileInfo> <QHash>
    <QJsonArray> <QJsonDocument> <QJsonObject> <QList> <QLoggingCategory> <QMap> <QObject>
    <QPointer> <QSet> <QString> <QStringList> <QTimer> <QVariant> <QVector>
    <algorithm> <functional> <memory> <vector>)
set(cellscribe_pch_gui
    <QAction> <QApplication> <QCheckBox> <QComboBox> <QDialog> <QFileDialog> <QFontMetrics>
    <QHBoxLayout> <QHeaderView> <QLabel> <QLineEdit> <QMainWindow> <QMessageBox> <QPainter>
    <QPushButton> <QSettings> <QTabWidget> <QTableView> <QVBoxLayout> <QWidget>)
# Most tests include the whole Qt Test module.
set(cellscribe_pch_test <QtTest> <QProcess> <QRegularExpression> <QSettings> <QTemporaryDir>)
set(cellscribe_pch_test_gui <QtWidgets>)

function(cellscribe_precompile target kind)
    if(NOT CELLSCRIBE_PCH)
        return()
    endif()
    if(kind STREQUAL "CORE")
        set(headers ${cellscribe_pch_core})
    elseif(kind STREQUAL "GUI")
        set(headers ${cellscribe_pch_core} ${cellscribe_pch_gui})
    elseif(kind STREQUAL "TEST_CORE")
        set(headers ${cellscribe_pch_core} ${cellscribe_pch_test})
    elseif(kind STREQUAL "TEST_GUI")
        set(headers ${cellscribe_pch_core} ${cellscribe_pch_test} ${cellscribe_pch_test_gui})
    else()
        message(FATAL_ERROR "cellscribe_precompile: unknown kind ${kind}")
    endif()
    target_precompile_headers(${target} PRIVATE ${headers})
endfunction()
