#pragma once

#include "i18n/translations.h"

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Asks for a recording to show and the protocol to decode it with: the one stored in it, or
// another protocol file (one with a corrected scale, say).
class OpenRecordingDialog : public QDialog
{
    Q_OBJECT

public:
    explicit OpenRecordingDialog(int language, QWidget *parent = nullptr);

    // Where the recording browser starts.
    void setDirectory(const QString &directory) { m_directory = directory; }
    void setRecordingPath(const QString &path);
    QString recordingPath() const;
    // Empty: the protocol stored in the recording.
    void setProtocolPath(const QString &path);
    QString protocolPath() const;

    QLineEdit *recordingEdit() const { return m_recording; }
    QLineEdit *protocolEdit() const { return m_protocol; }
    QRadioButton *storedProtocolButton() const { return m_stored; }
    QRadioButton *otherProtocolButton() const { return m_other; }
    QPushButton *okButton() const;

private:
    void browseRecording();
    void browseProtocol();
    void updateOk();
    QString say(const char *chinese, const char *english) const;

    int m_language = Chinese;
    QString m_directory;
    QLineEdit *m_recording = nullptr;
    QLineEdit *m_protocol = nullptr;
    QRadioButton *m_stored = nullptr;
    QRadioButton *m_other = nullptr;
    QPushButton *m_protocolBrowse = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
};
