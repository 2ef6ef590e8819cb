#include "simulatedlog.h"

#include "batterymodel.h"
#include "datalog/rdmodel.h"
#include "processing/dataprocessor.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"
#include "responseencoder.h"

int SimulatedLog::fill(RDModel &table, ProtocolConfig &config, const QString &commandName,
                       const QDateTime &start, int rows, qint64 stepMs, quint32 seed)
{
    if (!config.commandNames().contains(commandName))
        return 0;
    const CommandDefinition command = config.command(commandName);
    ProtocolFrame frame;
    frame.setProtocolConfig(&config);
    DataProcessor processor;
    processor.setProtocolConfig(&config);
    processor.setProtocolFrame(&frame);
    BatteryModel pack(seed);

    QDateTime now = start;
    table.setClock([&now] { return now; });
    int appended = 0;
    for (int i = 0; i < rows; ++i) {
        pack.advance();
        QList<quint64> raws;
        for (const DataSegment &segment : command.dataSegments)
            raws.append(pack.rawValue(segment));
        const QString text = QString::fromLatin1(ResponseEncoder::encode(config, command, raws));
        QString matched;
        if (processor.resolveCommandForFrame(text, matched)) {
            const QVariantHash values = processor.processFrameValues(
                    matched, frame.parsedValues(),
                    now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
            table.appendDataRow(values);
            ++appended;
        }
        now = now.addMSecs(stepMs);
    }
    table.setClock({});
    return appended;
}
