// Arbitrary frame texts through command matching and value processing with each sample
// protocol. Lines of one input are frames received one after another, against one value store.

#include "fuzzsupport.h"
#include "processing/dataprocessor.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"

#include <QList>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

namespace {
std::array<ProtocolConfig, 2> *configs = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceLogging();
    static std::array<ProtocolConfig, 2> loaded;
    const char *files[] = {"cs-16s.json", "cs-8s.json"};
    for (size_t i = 0; i < loaded.size(); ++i)
        FUZZ_CHECK(loaded[i].loadConfig(QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/")
                                        + QLatin1String(files[i])));
    configs = &loaded;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input =
            QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QStringView> frames = QStringView(input).split(QLatin1Char('\n'));
    const QString receiveTime = QStringLiteral("2026-01-01 00:00:00");

    for (ProtocolConfig &config : *configs) {
        ProtocolFrame frame;
        frame.setProtocolConfig(&config);
        DataProcessor processor;
        processor.setProtocolConfig(&config);
        processor.setProtocolFrame(&frame);
        for (const QStringView text : frames) {
            QString commandName;
            if (!processor.resolveCommandForFrame(text.toString(), commandName))
                continue;
            FUZZ_CHECK(config.commandNames().contains(commandName));
            const QVariantHash values =
                    processor.processFrameValues(commandName, frame.parsedValues(), receiveTime);
            FUZZ_CHECK(!values.isEmpty());
        }
    }
    return 0;
}
