// The sample protocols' table columns are wide enough for their headers and for what the
// simulated pack puts in them, in every language, at the window's own fonts.

#include "../testsupport/windowfixture.h"
#include "app/mainwindow.h"
#include "batterymodel.h"
#include "datalog/adaptiveitemdelegate.h"
#include "datalog/rdmodel.h"
#include "i18n/translations.h"
#include "processing/dataprocessor.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"
#include "responseencoder.h"
#include "ui_mainwindow.h"

#include <QHeaderView>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestSampleColumns : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void columnsFitTheirTexts_data();
    void columnsFitTheirTexts();

private:
    QTemporaryDir m_dir;
    QFont m_cellFont;
    QFont m_headerFont;
};

void TestSampleColumns::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    MainWindow::Options options;
    options.protocolDirectory = sampleProtocolDir();
    options.virtualPorts = {QStringLiteral("/tmp/cs-no-port")};
    MainWindow window(options);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QHeaderView *header = window.form()->tableView->horizontalHeader();
    m_cellFont = window.form()->tableView->font();
    // The header font as styled, before any fitting shrank it.
    m_headerFont = window.recordedFont(header).family().isEmpty() ? header->font()
                                                                  : window.recordedFont(header);
    m_headerFont.setBold(true);
}

void TestSampleColumns::columnsFitTheirTexts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("language");
    for (const char *file : {"cs-16s.json", "cs-8s.json"}) {
        for (int language : {int(Chinese), int(English), int(German)})
            QTest::addRow("%s %d", file, language) << QString::fromLatin1(file) << language;
    }
}

void TestSampleColumns::columnsFitTheirTexts()
{
    QFETCH(QString, file);
    QFETCH(int, language);

    ProtocolConfig config;
    QVERIFY(config.loadConfig(sampleProtocolDir() + u'/' + file));
    ProtocolFrame frame;
    frame.setProtocolConfig(&config);
    DataProcessor processor;
    processor.setProtocolConfig(&config);
    processor.setProtocolFrame(&frame);
    RDModel table;
    table.setProtocolConfig(&config);
    table.setTranslator(
            [language](const QString &text) { return translateWithUnit(language, text); });

    // A few hours of the simulated pack: charging, resting and discharging.
    BatteryModel pack(7, BatteryModel::seriesCount(config.dataSegments(config.defaultCommand())));
    const CommandDefinition command = config.command(config.defaultCommand());
    for (int step = 0; step < 300; ++step) {
        pack.advance();
        QList<quint64> raws;
        for (const DataSegment &segment : command.dataSegments)
            raws.append(pack.rawValue(segment));
        QString name;
        QVERIFY(processor.resolveCommandForFrame(
                QString::fromLatin1(ResponseEncoder::encode(config, command, raws)), name));
        table.appendDataRow(processor.processFrameValues(name, frame.parsedValues(), QString()));
    }

    // Protection states are rare: the status column must show the three everyday ones.
    const QStringList everyday{RDModel::statusToText(0xF000), RDModel::statusToText(0xF001),
                               RDModel::statusToText(0xF002)};
    const AdaptiveItemDelegate delegate; // the texts as the table shows them
    const QFontMetrics headerMetrics(m_headerFont);
    const QList<TableColumn> columns = config.tableColumns();
    QStringList tooNarrow;
    for (int c = 0; c < columns.size(); ++c) {
        const TableColumn &column = columns.at(c);
        const QString header = table.headerData(c, Qt::Horizontal).toString();
        // Header padding 5 on each side and its 1-pixel border.
        const int headerNeeds = headerMetrics.horizontalAdvance(header) + 2 * 5 + 1;
        if (column.width < headerNeeds)
            tooNarrow << QStringLiteral("%1: header '%2' needs %3")
                                 .arg(column.field, header)
                                 .arg(headerNeeds);
        QStringList texts;
        if (column.type == QLatin1String("status")) {
            for (const QString &state : everyday)
                texts << translateWithUnit(language, state);
        } else {
            for (int row = 0; row < table.rowCount(); ++row)
                texts << delegate.displayText(table.index(row, c).data(), QLocale());
        }
        for (const QString &text : std::as_const(texts)) {
            const QFont fitted = AdaptiveItemDelegate::fittedFont(m_cellFont, text, column.width);
            if (fitted != m_cellFont) {
                tooNarrow << QStringLiteral("%1: '%2' needs %3")
                                     .arg(column.field, text)
                                     .arg(QFontMetrics(m_cellFont).horizontalAdvance(text) + 4);
                break;
            }
        }
    }
    QVERIFY2(tooNarrow.isEmpty(), qPrintable(tooNarrow.join(QLatin1String("; "))));
}

QTEST_MAIN(TestSampleColumns)
#include "tst_samplecolumns.moc"
