#pragma once

#include "i18n/translations.h"

#include <QString>
#include <QWidget>

class QCheckBox;
class QPushButton;

// The recording's part of the table tab's tool row: the switch that keeps recordings, the file
// being recorded (a click opens its folder) and the button that opens a recording.
class RecordingToolRow : public QWidget
{
    Q_OBJECT

public:
    enum class State { Off, Waiting, Recording, Saved, Failed };

    explicit RecordingToolRow(QWidget *parent = nullptr);

    QCheckBox *recordBox() const { return m_record; }
    QPushButton *fileButton() const { return m_file; }
    QPushButton *openButton() const { return m_open; }

    // Sets the box without telling recordingToggled().
    void setRecordingEnabled(bool enabled);
    void setState(State state, const QString &path = QString(), const QString &error = QString());
    State state() const { return m_state; }
    QString path() const { return m_path; }
    void setLanguage(int language);

signals:
    void recordingToggled(bool enabled);
    void openRecordingRequested();

private:
    void showTexts();
    void openFolder();
    QString say(const char *chinese, const char *english) const;

    QCheckBox *m_record = nullptr;
    QPushButton *m_file = nullptr;
    QPushButton *m_open = nullptr;
    State m_state = State::Waiting;
    QString m_path;
    QString m_error;
    int m_language = Chinese;
};
