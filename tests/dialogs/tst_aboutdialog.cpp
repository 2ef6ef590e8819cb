#include "dialogs/aboutdialog.h"
#include "i18n/translations.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <QtTest>

namespace {

struct Parts
{
    QTabWidget *tabs;
    QTextBrowser *version;
    QTextBrowser *build;
    QPushButton *aboutQt;
    QPushButton *close;
};

Parts partsOf(AboutDialog &dialog)
{
    return {dialog.findChild<QTabWidget *>(QStringLiteral("aboutTabs")),
            dialog.findChild<QTextBrowser *>(QStringLiteral("versionText")),
            dialog.findChild<QTextBrowser *>(QStringLiteral("buildText")),
            dialog.findChild<QPushButton *>(QStringLiteral("aboutQtButton")),
            dialog.findChild<QPushButton *>(QStringLiteral("closeButton"))};
}

// Lines of a text view, without the empty line after the final line break.
QStringList linesOf(const QTextBrowser *view)
{
    QStringList lines = view->toPlainText().split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

TextTranslator translatorFor(int language)
{
    if (language == Chinese)
        return {};
    return [language](const QString &text) { return translateWithUnit(language, text); };
}

} // namespace

class TestAboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void labelsInEachLanguage_data();
    void labelsInEachLanguage();
    void buildTabLines_data();
    void buildTabLines();
    void textsChangeOnlyOnRefresh();
    void windowProperties();
    void closeHidesAndReopenShowsSameInstance();
    void aboutQtButtonOpensFrameworkBox();
};

void TestAboutDialog::labelsInEachLanguage_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("expected"); // title, tabs, buttons, first version line

    QTest::newRow("no translator")
            << int(Chinese) << QStringList{QStringLiteral("关于 Cellscribe"),
                                           QStringLiteral("版本信息"),
                                           QStringLiteral("编译信息"),
                                           QStringLiteral("关于Qt"),
                                           QStringLiteral("关闭"),
                                           QStringLiteral("应用版本： 2.29")};
    QTest::newRow("English") << int(English)
                             << QStringList{QStringLiteral("About Cellscribe"),
                                            QStringLiteral("Version Information"),
                                            QStringLiteral("Build Information"),
                                            QStringLiteral("About Qt"),
                                            QStringLiteral("Close"),
                                            QStringLiteral("Application Version: 2.29")};
    QTest::newRow("German") << int(German)
                            << QStringList{QStringLiteral("Über Cellscribe"),
                                           QStringLiteral("Versionsinformationen"),
                                           QStringLiteral("Build-Informationen"),
                                           QStringLiteral("Über Qt"),
                                           QStringLiteral("Schließen"),
                                           QStringLiteral("Anwendungsversion: 2.29")};
}

void TestAboutDialog::labelsInEachLanguage()
{
    QFETCH(int, language);
    QFETCH(QStringList, expected);

    AboutDialog dialog;
    dialog.setTranslator(translatorFor(language));
    dialog.refreshTexts();
    const Parts parts = partsOf(dialog);

    QCOMPARE(dialog.windowTitle(), expected.at(0));
    QCOMPARE(parts.tabs->tabText(0), expected.at(1));
    QCOMPARE(parts.tabs->tabText(1), expected.at(2));
    QCOMPARE(parts.aboutQt->text(), expected.at(3));
    QCOMPARE(parts.close->text(), expected.at(4));

    const QStringList version = linesOf(parts.version);
    QCOMPARE(version.size(), 7);
    QCOMPARE(version.at(0), expected.at(5));
    QCOMPARE(version.at(1), QString());
    QCOMPARE(version.at(2), QStringLiteral("BV-BMS Cellscribe"));
    // The product name stays Chinese in every language.
    QCOMPARE(version.at(3), QStringLiteral("Brevon电池管理系统数据采集器"));
    QCOMPARE(version.at(4), QString());
    QVERIFY(version.at(5).contains(QStringLiteral("TRBMS")));
    // The licence, in the dialog's language.
    QVERIFY(version.at(6).contains(QStringLiteral("MIT")));
    QCOMPARE(version.at(6).contains(QStringLiteral("许可证")), language == Chinese);
}

void TestAboutDialog::buildTabLines_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("labels");

    QTest::newRow("no translator")
            << int(Chinese)
            << QStringList{QStringLiteral("编译时间："), QStringLiteral("编译器："),
                           QStringLiteral("Qt版本：")};
    QTest::newRow("English") << int(English)
                             << QStringList{QStringLiteral("Build Time:"),
                                            QStringLiteral("Compiler:"),
                                            QStringLiteral("Qt Version:")};
    QTest::newRow("German") << int(German)
                            << QStringList{QStringLiteral("Build-Zeit:"),
                                           QStringLiteral("Compiler:"),
                                           QStringLiteral("Qt-Version:")};
}

void TestAboutDialog::buildTabLines()
{
    QFETCH(int, language);
    QFETCH(QStringList, labels);

    AboutDialog dialog;
    dialog.setTranslator(translatorFor(language));
    dialog.refreshTexts();
    const QStringList lines = linesOf(partsOf(dialog).build);
    QCOMPARE(lines.size(), 6);

    // "Mmm dd yyyy hh:mm:ss" as the compiler records it (days below 10 padded with a space).
    const QRegularExpression buildTime(
            QStringLiteral("^%1 [A-Z][a-z]{2} [ \\d]\\d \\d{4} \\d{2}:\\d{2}:\\d{2}$")
                    .arg(QRegularExpression::escape(labels.at(0))));
    QVERIFY2(buildTime.match(lines.at(0)).hasMatch(), qPrintable(lines.at(0)));
    QCOMPARE(lines.at(1), QString());

    const QRegularExpression compiler(QStringLiteral("^%1 (GCC|Clang|MSVC) \\d+\\.\\d+\\.\\d+$")
                                              .arg(QRegularExpression::escape(labels.at(1))));
    QVERIFY2(compiler.match(lines.at(2)).hasMatch(), qPrintable(lines.at(2)));
    QCOMPARE(lines.at(2), labels.at(1) + QLatin1Char(' ') + AboutDialog::compilerDescription());
    QCOMPARE(lines.at(3), QString());

    QCOMPARE(lines.at(4), labels.at(2) + QLatin1Char(' ') + QLatin1String(QT_VERSION_STR));
    // Always English, always last.
    QCOMPARE(lines.at(5), QStringLiteral("Runtime Qt: ") + QLatin1String(qVersion()));
}

void TestAboutDialog::textsChangeOnlyOnRefresh()
{
    int language = English;
    AboutDialog dialog;
    dialog.setTranslator(
            [&language](const QString &text) { return translateWithUnit(language, text); });
    QCOMPARE(dialog.windowTitle(), QStringLiteral("关于 Cellscribe"));

    dialog.show();
    dialog.refreshTexts();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About Cellscribe"));

    // A language change while open re-labels the dialog at the next refresh.
    language = German;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About Cellscribe"));
    dialog.refreshTexts();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Über Cellscribe"));
    QCOMPARE(linesOf(partsOf(dialog).version).at(0), QStringLiteral("Anwendungsversion: 2.29"));
}

void TestAboutDialog::windowProperties()
{
    QWidget owner;
    AboutDialog dialog(&owner);
    const Parts parts = partsOf(dialog);
    QVERIFY(parts.tabs && parts.version && parts.build && parts.aboutQt && parts.close);

    QVERIFY(!dialog.isModal());
    QCOMPARE(dialog.minimumSize(), QSize(500, 350));
    QCOMPARE(dialog.size(), QSize(550, 400));
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));

    QCOMPARE(parts.tabs->count(), 2);
    QCOMPARE(parts.tabs->widget(0), parts.version);
    QCOMPARE(parts.tabs->widget(1), parts.build);
    QVERIFY(parts.version->isReadOnly());
    QVERIFY(parts.build->isReadOnly());

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // Button row under the tabs: about-framework at the left, close at the right.
    QVERIFY(parts.aboutQt->geometry().top() > parts.tabs->geometry().bottom());
    QVERIFY(parts.aboutQt->geometry().right() < parts.close->geometry().left());
    QVERIFY(parts.close->geometry().right() > dialog.width() / 2);
}

void TestAboutDialog::closeHidesAndReopenShowsSameInstance()
{
    QWidget owner;
    QPointer<AboutDialog> dialog = new AboutDialog(&owner);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    dialog->resize(640, 480);
    partsOf(*dialog).tabs->setCurrentIndex(1);

    QTest::mouseClick(partsOf(*dialog).close, Qt::LeftButton);
    QTRY_VERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(dialog);
    QCOMPARE(owner.findChildren<AboutDialog *>().size(), 1);

    dialog->refreshTexts();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QCOMPARE(dialog->size(), QSize(640, 480));
    QCOMPARE(partsOf(*dialog).tabs->currentIndex(), 1);

    // The title bar's close button hides it as well.
    dialog->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(dialog);
    QVERIFY(!dialog->isVisible());
}

void TestAboutDialog::aboutQtButtonOpensFrameworkBox()
{
    AboutDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QWidget *boxParent = nullptr;
    bool seen = false;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, &dialog, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            seen = true;
            boxParent = box->parentWidget();
            box->close();
        }
    });
    poll.start();
    QTest::mouseClick(partsOf(dialog).aboutQt, Qt::LeftButton);
    QTRY_VERIFY(seen);
    poll.stop();
    QCOMPARE(boxParent, &dialog);
}

QTEST_MAIN(TestAboutDialog)
#include "tst_aboutdialog.moc"
