#pragma once

#include "i18n/translations.h"
#include "recordingui/recordingbanner.h"
#include "recordingui/recordingtoolrow.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>

class AcquisitionEngine;
class QAbstractItemModel;
class QBoxLayout;
class QLabel;
class QTableView;
class RDModel;
class RecordingReader;
class RecordingReplay;
class RecordingSession;

// The window's side of recordings. Keeps one file per switch-on (unless the "recording" setting
// is off) and shows it in the table tab's tool row; reports a file that cannot be written in the
// error line and a warning, while acquisition goes on. Shows a recording read-only in the table,
// decoded again, in place of the live rows (which come back untouched); live acquisition is off
// meanwhile (liveBlocked()).
class RecordingController : public QObject
{
    Q_OBJECT

public:
    struct Parts
    {
        AcquisitionEngine *engine = nullptr;
        QTableView *table = nullptr;
        QBoxLayout *toolRow = nullptr; // the table tab's tool row: the recording's part joins it
        QBoxLayout *tableArea = nullptr; // holds the table: the banner goes above it
        QLabel *errorLine = nullptr;
        QWidget *window = nullptr; // parent of boxes and dialogs
    };

    // Settings of the window's store (organisation TRBMS, application BV-BMS).
    static QString enabledKey() { return QStringLiteral("recording"); } // default true
    static QString directoryKey() { return QStringLiteral("recordingDirectory"); } // empty: default

    explicit RecordingController(const Parts &parts, QObject *parent = nullptr);
    ~RecordingController() override;

    RecordingSession *session() const { return m_session; }
    RecordingToolRow *toolRow() const { return m_row; }
    RecordingBanner *banner() const { return m_banner; }
    void setLanguage(int language);

    // A file is given up on or has stopped taking rows.
    bool isFailing() const;
    // The last failure's report, while the recording fails.
    QString failureText() const { return isFailing() ? m_failureText : QString(); }

    // Loads a recording into the table, decoded with its stored protocol or with protocolFile.
    // False (with a message box) when it cannot be shown; loading goes on in the event loop.
    bool showRecording(const QString &path, const QString &protocolFile = QString());
    // Back to the live rows.
    void closeRecording();
    // The tool row's button: the dialog, then showRecording().
    void askForRecording();
    bool isShowingRecording() const { return m_model != nullptr; }
    bool isLoading() const { return m_loadTimer.isActive(); }
    // The shown recording's table; null when none is shown.
    RDModel *recordingModel() const { return m_model; }

signals:
    void liveBlocked(bool blocked);
    void recordingLoaded(const QString &path, qint64 rows);
    // The table now shows this model: a recording's, or the live one again (told before the
    // recording's model goes away).
    void shownModelChanged(RDModel *model);

private:
    void setEnabled(bool enabled);
    void onFailed(const QString &path, const QString &error);
    void onResumed(const QString &path, qint64 lost);
    void loadStep();
    void warn(const QString &text);
    QString say(const char *chinese, const char *english) const;

    Parts m_parts;
    QPointer<QTableView> m_table;
    QPointer<QLabel> m_errorLine;
    QString m_failureText;
    QPointer<QWidget> m_window;
    RecordingSession *m_session = nullptr;
    QPointer<RecordingToolRow> m_row;
    QPointer<RecordingBanner> m_banner;
    int m_language = Chinese;

    // The recording shown.
    std::unique_ptr<RecordingReader> m_reader;
    std::unique_ptr<RecordingReplay> m_replay;
    RDModel *m_model = nullptr;
    QPointer<QAbstractItemModel> m_liveModel;
    QString m_shownPath;
    qint64 m_expectedFrames = 0;
    QDateTime m_rowTime;
    QTimer m_loadTimer;
};
