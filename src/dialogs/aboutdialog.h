#pragma once

#include "i18n/translations.h"

#include <QDialog>

class QPushButton;
class QTabWidget;
class QTextBrowser;

// Version and build information. Kept by its owner and shown again on request; closing hides it.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);

    // Stores the translator; the texts change at the next refreshTexts().
    void setTranslator(const TextTranslator &translator);

    // Sets the title, tab titles, both texts and both button texts again through the translator.
    void refreshTexts();

    // The application version shown in the dialog, e.g. "2.29".
    static QString applicationVersion();
    // Compiler name and its major.minor.patch version, e.g. "GCC 12.2.0".
    static QString compilerDescription();

private:
    QString translated(const QString &chinese) const;
    QString versionText() const;
    QString buildText() const;

    TextTranslator translator;
    QTabWidget *tabWidget = nullptr;
    QTextBrowser *versionView = nullptr;
    QTextBrowser *buildView = nullptr;
    QPushButton *aboutQtButton = nullptr;
    QPushButton *closeButton = nullptr;
};
