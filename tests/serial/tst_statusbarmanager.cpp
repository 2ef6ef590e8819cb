#include "i18n/translations.h"
#include "serial/statusbarmanager.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>
#include <QtTest>

#include <memory>

namespace {

TextTranslator translatorFor(int language)
{
    return [language](const QString &text) { return translateWithUnit(language, text); };
}

// A small window whose status label sits two levels down, as in the main window.
struct Window
{
    Window()
    {
        auto *bar = new QWidget(&root);
        auto *layout = new QVBoxLayout(bar);
        label = new QLabel(QStringLiteral("未连接！"), bar);
        label->setObjectName(QStringLiteral("statu_opencom"));
        layout->addWidget(label);
    }
    QWidget root;
    QLabel *label = nullptr;
};

} // namespace

class TestStatusBarManager : public QObject
{
    Q_OBJECT

private slots:
    void rendersEachState_data();
    void rendersEachState();
    void settingsAreNeverTranslated_data();
    void settingsAreNeverTranslated();
    void closeKeepsOnlyThePortName();
    void languageChangeNeedsRefresh();
    void constructorAndTranslatorLeaveLabelAlone();
    void missingLabelOrTreeIsIgnored();
};

void TestStatusBarManager::rendersEachState_data()
{
    QTest::addColumn<int>("language"); // -1: no translator
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("expected");

    const QString zhOpen = QStringLiteral("COM3 已打开, 9600, 8, NONE, 1, OFF");
    QTest::newRow("none reset") << -1 << 0 << QStringLiteral("未连接！");
    QTest::newRow("none open") << -1 << 1 << zhOpen;
    QTest::newRow("none closed") << -1 << 2 << QStringLiteral("COM3 已关闭");
    QTest::newRow("zh reset") << int(Chinese) << 0 << QStringLiteral("未连接！");
    QTest::newRow("zh open") << int(Chinese) << 1 << zhOpen;
    QTest::newRow("zh closed") << int(Chinese) << 2 << QStringLiteral("COM3 已关闭");
    QTest::newRow("en reset") << int(English) << 0 << QStringLiteral("Not Connected!");
    QTest::newRow("en open") << int(English) << 1
                             << QStringLiteral("COM3 opened, 9600, 8, NONE, 1, OFF");
    QTest::newRow("en closed") << int(English) << 2 << QStringLiteral("COM3 closed");
    QTest::newRow("de reset") << int(German) << 0 << QStringLiteral("Nicht verbunden!");
    QTest::newRow("de open") << int(German) << 1
                             << QStringLiteral("COM3 geöffnet, 9600, 8, NONE, 1, OFF");
    QTest::newRow("de closed") << int(German) << 2 << QStringLiteral("COM3 geschlossen");
}

void TestStatusBarManager::rendersEachState()
{
    QFETCH(int, language);
    QFETCH(int, state);
    QFETCH(QString, expected);

    Window w;
    StatusBarManager manager(&w.root);
    if (language >= 0)
        manager.setTranslator(translatorFor(language));

    // Every state is reached from another one, so a stale text would show.
    manager.setComConnected(QStringLiteral("COM1"), 115200, 7, QStringLiteral("EVEN"), 2,
                            QStringLiteral("ON"));
    switch (state) {
    case 0:
        manager.resetStatus();
        break;
    case 1:
        manager.resetStatus();
        manager.setComConnected(QStringLiteral("COM3"), 9600, 8, QStringLiteral("NONE"), 1,
                                QStringLiteral("OFF"));
        break;
    case 2:
        manager.setComDisconnected(QStringLiteral("COM3"));
        break;
    }
    QCOMPARE(manager.state(), state);
    QCOMPARE(w.label->text(), expected);
    QCOMPARE(manager.statusText(), expected);
}

void TestStatusBarManager::settingsAreNeverTranslated_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("openText");
    QTest::addColumn<QString>("closedText");

    // "关闭" and "开始" are in the translation table; as a port or setting they stay as they are.
    QTest::newRow("translatable port") << QStringLiteral("关闭") << QStringLiteral("开始")
                                       << QStringLiteral("关闭 opened, 9600, 8, 开始, 1, OFF")
                                       << QStringLiteral("关闭 closed");
    // A virtual port path holding a placeholder must not be filled in again.
    QTest::newRow("percent in port") << QStringLiteral("/tmp/tty%2") << QStringLiteral("NONE")
                                     << QStringLiteral("/tmp/tty%2 opened, 9600, 8, NONE, 1, OFF")
                                     << QStringLiteral("/tmp/tty%2 closed");
    QTest::newRow("percent in setting") << QStringLiteral("COM3") << QStringLiteral("%6%1")
                                        << QStringLiteral("COM3 opened, 9600, 8, %6%1, 1, OFF")
                                        << QStringLiteral("COM3 closed");
}

void TestStatusBarManager::settingsAreNeverTranslated()
{
    QFETCH(QString, port);
    QFETCH(QString, parity);
    QFETCH(QString, openText);
    QFETCH(QString, closedText);

    Window w;
    StatusBarManager manager(&w.root);
    manager.setTranslator(translatorFor(English));
    manager.setComConnected(port, 9600, 8, parity, 1, QStringLiteral("OFF"));
    QCOMPARE(w.label->text(), openText);
    manager.setComDisconnected(port);
    QCOMPARE(w.label->text(), closedText);
}

void TestStatusBarManager::closeKeepsOnlyThePortName()
{
    Window w;
    StatusBarManager manager(&w.root);

    // A failed start runs the stop path straight from "not connected".
    manager.resetStatus();
    manager.setComDisconnected(QStringLiteral("COM9"));
    QCOMPARE(w.label->text(), QStringLiteral("COM9 已关闭"));

    manager.setComConnected(QStringLiteral("COM3"), 115200, 8, QStringLiteral("NONE"), 1,
                            QStringLiteral("OFF"));
    manager.setComDisconnected(QStringLiteral("COM4"));
    manager.setTranslator(translatorFor(German));
    manager.refreshStatus();
    QCOMPARE(manager.state(), int(StatusBarManager::Closed));
    QCOMPARE(w.label->text(), QStringLiteral("COM4 geschlossen"));
}

void TestStatusBarManager::languageChangeNeedsRefresh()
{
    Window w;
    StatusBarManager manager(&w.root);
    manager.setTranslator(translatorFor(Chinese));
    manager.setComConnected(QStringLiteral("COM3"), 19200, 8, QStringLiteral("NONE"), 1,
                            QStringLiteral("OFF"));
    const QString zh = QStringLiteral("COM3 已打开, 19200, 8, NONE, 1, OFF");
    QCOMPARE(w.label->text(), zh);

    manager.setTranslator(translatorFor(English));
    QCOMPARE(w.label->text(), zh); // the new translator alone redraws nothing
    manager.refreshStatus();
    QCOMPARE(w.label->text(), QStringLiteral("COM3 opened, 19200, 8, NONE, 1, OFF"));

    manager.setTranslator(TextTranslator());
    manager.refreshStatus();
    QCOMPARE(w.label->text(), zh);
}

void TestStatusBarManager::constructorAndTranslatorLeaveLabelAlone()
{
    Window w;
    w.label->setText(QStringLiteral("x"));
    StatusBarManager manager(&w.root);
    manager.setTranslator(translatorFor(English));
    QCOMPARE(w.label->text(), QStringLiteral("x"));
    QCOMPARE(manager.state(), int(StatusBarManager::NotConnected));
}

void TestStatusBarManager::missingLabelOrTreeIsIgnored()
{
    QWidget tree;
    auto *other = new QLabel(QStringLiteral("keep"), &tree);
    other->setObjectName(QStringLiteral("err_info"));
    StatusBarManager manager(&tree);
    manager.setComConnected(QStringLiteral("COM3"), 9600, 8, QStringLiteral("NONE"), 1,
                            QStringLiteral("OFF"));
    manager.refreshStatus();
    QCOMPARE(other->text(), QStringLiteral("keep"));
    QCOMPARE(manager.state(), int(StatusBarManager::Open));

    StatusBarManager noTree(nullptr);
    noTree.resetStatus();
    QCOMPARE(noTree.statusText(), QStringLiteral("未连接！"));

    // The tree may be destroyed first; later calls must not touch it.
    auto w = std::make_unique<Window>();
    StatusBarManager orphan(&w->root);
    w.reset();
    orphan.setComDisconnected(QStringLiteral("COM3"));
    orphan.refreshStatus();
    QCOMPARE(orphan.statusText(), QStringLiteral("COM3 已关闭"));
}

QTEST_MAIN(TestStatusBarManager)
#include "tst_statusbarmanager.moc"
