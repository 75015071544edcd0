#include "CliCommand.h"

#include "CliCheck.h"
#include "CliCompare.h"
#include "CliMerge.h"
#include "CliRun.h"

#include <QCommandLineParser>

bool CliArguments::IsSet(ECliOption option) const
{
    return m_parser.isSet(CliOption(option).LongName());
}

QString CliArguments::Value(ECliOption option) const
{
    return m_parser.value(CliOption(option).LongName());
}

QStringList CliArguments::Values(ECliOption option) const
{
    return m_parser.values(CliOption(option).LongName());
}

const QList<const CliCommand*>& CliCommands()
{
    static const QList<const CliCommand*> commands{&CheckCommand(), &RunCommand(), &MergeCommand(), &CompareCommand()};
    return commands;
}

QString CliCommandsHelp()
{
    constexpr qsizetype kUsageWidth = 13;
    const QString strIndent(2 + kUsageWidth, QLatin1Char(' '));
    QString strHelp = QStringLiteral("Commands:\n");
    for (const CliCommand* pCommand : CliCommands()) {
        const QStringList lines = pCommand->Description().split(QLatin1Char('\n'));
        // A usage too long for its column stands on a line of its own.
        const QString strUsage = pCommand->Usage();
        strHelp += strUsage.size() < kUsageWidth
                       ? QStringLiteral("  ") + strUsage.leftJustified(kUsageWidth) + lines.constFirst() + QLatin1Char('\n')
                       : QStringLiteral("  ") + strUsage + QLatin1Char('\n') + strIndent + lines.constFirst() +
                             QLatin1Char('\n');
        for (qsizetype i = 1; i < lines.size(); ++i)
            strHelp += strIndent + lines[i] + QLatin1Char('\n');
    }
    return strHelp;
}
