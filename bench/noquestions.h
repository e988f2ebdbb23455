#pragma once

#include "modalquestions.h"
#include "widgetquestions.h"

#include <cstdio>

// The benchmarks that drive the main window: no question may wait for an answer there, so any
// that comes up is printed as a failure instead.
class NoQuestions : public ModalQuestions
{
public:
    int execDialog(QDialog &) override { return complain("dialog"), 2; }
    std::optional<QString> getText(QWidget *, const QString &, const QString &, const QString &,
                                   int) override
    {
        return complain("prompt"), std::nullopt;
    }
    std::optional<QString> getSaveFileName(QWidget *, const QString &, const QString &,
                                           const QString &, const QString &) override
    {
        return complain("save dialog"), std::nullopt;
    }
    std::optional<QString> getExistingDirectory(QWidget *, const QString &,
                                                const QString &) override
    {
        return complain("folder browser"), std::nullopt;
    }
    void critical(QWidget *, const QString &message) override
    {
        complain(message.toLocal8Bit().constData());
    }

private:
    static void complain(const char *what) { std::fprintf(stderr, "unexpected: %s\n", what); }
};
