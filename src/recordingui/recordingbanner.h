#pragma once

#include "i18n/translations.h"

#include <QFrame>
#include <QString>

class QLabel;
class QPushButton;

// Above the table while a recording is shown in it: which one, that it is read-only and that
// live acquisition is off meanwhile, and the way back.
class RecordingBanner : public QFrame
{
    Q_OBJECT

public:
    explicit RecordingBanner(QWidget *parent = nullptr);

    void showLoading(const QString &path, int percent);
    void showLoaded(const QString &path, qint64 rows, const QString &protocol);
    void setLanguage(int language);

    QLabel *label() const { return m_label; }
    QPushButton *backButton() const { return m_back; }

signals:
    void backRequested();

private:
    void showTexts();

    QLabel *m_label = nullptr;
    QPushButton *m_back = nullptr;
    QString m_path;
    QString m_protocol;
    qint64 m_rows = 0;
    int m_percent = -1; // loading; -1 once loaded
    int m_language = Chinese;
};
