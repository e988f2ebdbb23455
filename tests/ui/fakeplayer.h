#pragma once

#include "previewplayer.h"

#include <QStringList>

// A player that records what it is asked to do; tests raise errors through onError.
class FakePlayer : public PreviewPlayer
{
public:
    void open(const QString &path) override { calls << QStringLiteral("open ") + path; }
    void play() override { calls << QStringLiteral("play"); }
    void stop() override { calls << QStringLiteral("stop"); }
    void close() override { calls << QStringLiteral("close"); }
    void setErrorHandler(ErrorHandler handler) override { onError = std::move(handler); }

    QStringList calls;
    ErrorHandler onError;
};
