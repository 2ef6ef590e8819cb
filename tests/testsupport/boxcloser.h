#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

// Answers every message box that becomes modal and keeps its texts, so no test hangs on one.
class BoxCloser : public QObject
{
public:
    explicit BoxCloser(QMessageBox::StandardButton answer = QMessageBox::Ok) : m_answer(answer)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                texts.append(box->text());
                details.append(box->detailedText());
                if (QAbstractButton *button = box->button(m_answer))
                    button->click();
                else
                    box->accept();
            }
        });
        m_timer.start(20);
    }
    QStringList texts;
    QStringList details;

private:
    QMessageBox::StandardButton m_answer;
    QTimer m_timer;
};
