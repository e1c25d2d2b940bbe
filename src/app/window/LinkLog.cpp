#include "LinkLog.h"

#include <QString>
#include <memory>

Q_LOGGING_CATEGORY(lcLink, "quenta.link", QtWarningMsg)

RadioLink::TraceSink LinkLogSink() {
    auto start = std::make_shared<std::int64_t>(-1);
    return [start](char direction, const std::uint8_t* bytes, int count, std::int64_t ms) {
        if (*start < 0)
            *start = ms;
        QString line =
            QStringLiteral("%1 %2").arg(ms - *start, 8).arg(QChar::fromLatin1(direction));
        for (int i = 0; i < count; ++i)
            line += QStringLiteral(" %1").arg(bytes[i], 2, 16, QChar(u'0')).toUpper();
        qCDebug(lcLink).noquote() << line;
    };
}

void KeepLinkFrames(RadioLink& link, report::KeptTrace& kept) {
    if (!lcLink().isDebugEnabled()) {
        link.SetTraceSink(kept.Sink());
        return;
    }
    link.SetTraceSink([&kept, log = LinkLogSink()](char direction, const std::uint8_t* bytes,
                                                   int count, std::int64_t ms) {
        kept.Write(direction, bytes, count, ms);
        log(direction, bytes, count, ms);
    });
}
