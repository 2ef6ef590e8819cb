// Arbitrary bytes as a protocol file: loading must fail cleanly or give a model whose every
// command builds a request frame.

#include "fuzzsupport.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {
QString *protocolPath = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceLogging();
    static QTemporaryDir dir;
    FUZZ_CHECK(dir.isValid());
    static QString path = dir.filePath(QStringLiteral("fuzz.json"));
    protocolPath = &path;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        QFile file(*protocolPath);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
    }

    ProtocolConfig config;
    if (!config.loadConfig(*protocolPath)) {
        FUZZ_CHECK(!config.lastError().isEmpty());
        return 0;
    }
    FUZZ_CHECK(config.lastError().isEmpty());

    ProtocolFrame frame;
    frame.setProtocolConfig(&config);
    const QStringList names = config.commandNames();
    for (const QString &name : names) {
        const QByteArray request = config.buildRequestFrame(name);
        FUZZ_CHECK(frame.generateRequestFrame(name) == request);
        // The segment layout is arbitrary here: run the parser over what we have.
        frame.parseFrame(QString::fromLatin1(request), name);
        (void)config.dataSegments(name);
    }
    (void)config.buildRequestFrame(QString());
    (void)config.buildRequestFrame(config.defaultCommand());
    return 0;
}
