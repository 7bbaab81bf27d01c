// The command line's reporter.
#include "reporter.h"

#include <cstdio>

void TStderrReporter::Error(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

void TStderrReporter::Info(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

bool TStderrReporter::Ask(const QString &text)
{
    std::fprintf(stderr, "%s %s\n", text.toLocal8Bit().constData(), Answer ? "Yes" : "No");
    return Answer;
}
