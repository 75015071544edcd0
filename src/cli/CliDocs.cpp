#include "CliDocs.h"

#include "CliCommand.h"
#include "CliExitCodes.h"
#include "CliOptions.h"

#include <QStringList>

#include <iterator>

namespace {

// Text as roff shows it literally: backslashes and dashes escaped, no
// request at the start of a line.
QString Roff(const QString& strText)
{
    QString strRoff = strText;
    strRoff.replace(QLatin1Char('\\'), QLatin1String("\\e")).replace(QLatin1Char('-'), QLatin1String("\\-"));
    if (strRoff.startsWith(QLatin1Char('.')) || strRoff.startsWith(QLatin1Char('\'')))
        strRoff.prepend(QLatin1String("\\&"));
    return strRoff;
}

QString Dashed(const QString& strName)
{
    return (strName.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + strName;
}

// ".TP" and the tag line of an option: ".BI \-\-id " ID"", ".B \-\-stats",
// ".BR \-h ", " \-\-help".
QString ManTag(const CliOptionEntry& entry)
{
    QStringList names;
    for (const QString& strName : entry.names)
        names << Roff(Dashed(strName));
    if (names.size() > 1)
        return QStringLiteral(".TP\n.BR ") + names.join(QStringLiteral(" \", \" ")) + QLatin1Char('\n');
    if (entry.TakesValue())
        return QStringLiteral(".TP\n.BI %1 \" %2\"\n").arg(names.constFirst(), Roff(entry.strValueName));
    return QStringLiteral(".TP\n.B %1\n").arg(names.constFirst());
}

// "(run; default admin; NOTE)." after an option's lead.
QString ManCommands(const CliOptionEntry& entry)
{
    const QStringList commands = CliCommandNames(entry.nCommands);
    QString strRoff = QStringLiteral(".RB ( ") + commands.join(QStringLiteral(" \", \" "));
    if (entry.strDefault.isEmpty() && entry.strManNote.isEmpty())
        return strRoff + QStringLiteral(" ).\n");
    strRoff += QStringLiteral(" ;\n");
    if (!entry.strDefault.isEmpty()) {
        strRoff += QStringLiteral("default\n.BR ") + Roff(entry.strDefault);
        if (entry.strManNote.isEmpty())
            return strRoff + QStringLiteral(" ).\n");
        strRoff += QStringLiteral(" ;\n");
    }
    return strRoff + entry.strManNote + QStringLiteral(").\n");
}

// The entries of the table's options (bQtOwn false) or of Qt's own.
QString ManOptions(bool bQtOwn)
{
    QString strRoff;
    for (const CliOptionEntry& entry : CliOptionTable()) {
        if (entry.IsQtOwn() != bQtOwn)
            continue;
        strRoff += ManTag(entry) + entry.strManLead + QLatin1Char('\n');
        if (!entry.IsQtOwn())
            strRoff += ManCommands(entry);
        if (!entry.strManMore.isEmpty())
            strRoff += entry.strManMore + QLatin1Char('\n');
    }
    return strRoff;
}

QString ManExitStatus()
{
    QString strRoff;
    for (const CliExitCodeDoc& doc : kCliExitCodeDocs)
        strRoff += QStringLiteral(".TP\n.B %1\n%2\n").arg(doc.nCode).arg(QString::fromUtf8(doc.szMan));
    return strRoff + QStringLiteral(".PP\nWhen a run meets more than one: %1.\n")
                         .arg(Roff(QString::fromUtf8(kCliExitPrecedence)));
}

QString BashFiledir(const CliOptionEntry& entry)
{
    if (entry.completion == ECliCompletion::Folder)
        return QStringLiteral("_filedir -d");
    if (entry.extensions.isEmpty())
        return QStringLiteral("_filedir");
    if (entry.extensions.size() == 1)
        return QStringLiteral("_filedir ") + entry.extensions.constFirst();
    return QStringLiteral("_filedir '@(%1)'").arg(entry.extensions.join(QLatin1Char('|')));
}

QStringList ValueOptions(ECliCompletion completion, bool bAny)
{
    QStringList names;
    for (const CliOptionEntry& entry : CliOptionTable())
        if (entry.TakesValue() && (bAny || entry.completion == completion))
            names << Dashed(entry.LongName());
    return names;
}

QString BashValueCases()
{
    QString strShell;
    for (const CliOptionEntry& entry : CliOptionTable()) {
        if (!entry.TakesValue() || entry.completion == ECliCompletion::None)
            continue;
        strShell += QStringLiteral("        %1)\n            %2\n            return\n            ;;\n")
                        .arg(Dashed(entry.LongName()), BashFiledir(entry));
    }
    const QStringList typed = ValueOptions(ECliCompletion::None, false);
    if (!typed.isEmpty())
        strShell += QStringLiteral("        %1)\n            return\n            ;;\n")
                        .arg(typed.join(QStringLiteral(" | ")));
    return strShell;
}

// The option words a command takes, Qt's own included, as a compgen word
// list: lines of at most 100 columns, the first from nColumn on, the others
// indented by strIndent.
QString BashWords(unsigned nCommands, qsizetype nColumn, const QString& strIndent)
{
    QString strWords;
    for (const CliOptionEntry& entry : CliOptionTable()) {
        if (!entry.IsQtOwn() && !(entry.nCommands & nCommands))
            continue;
        const QString strWord = Dashed(entry.LongName());
        if (!strWords.isEmpty() && nColumn + 1 + strWord.size() > 100) {
            strWords += QLatin1Char('\n') + strIndent;
            nColumn = strIndent.size();
        } else if (!strWords.isEmpty()) {
            strWords += QLatin1Char(' ');
            ++nColumn;
        }
        strWords += strWord;
        nColumn += strWord.size();
    }
    return strWords;
}

// The options a command takes; before a command is given, every option.
QString BashCommandOptions()
{
    const QString strIndent(16, QLatin1Char(' '));
    const QString strCompgen = QStringLiteral("COMPREPLY=($(compgen -W '");
    const QString strArm = QStringLiteral("            %1)\n") + strIndent + strCompgen +
                           QStringLiteral("%2' -- \"$cur\"))\n") + strIndent + QStringLiteral(";;\n");
    const qsizetype nColumn = strIndent.size() + strCompgen.size();
    unsigned nAll = 0;
    for (const CliCommand* pCommand : CliCommands())
        nAll |= pCommand->Bit();
    const QString strAllWords = BashWords(nAll, nColumn, strIndent);
    QString strShell;
    for (const CliCommand* pCommand : CliCommands()) {
        const QString strWords = BashWords(pCommand->Bit(), nColumn, strIndent);
        if (strWords != strAllWords)
            strShell += strArm.arg(pCommand->Name(), strWords);
    }
    return strShell + strArm.arg(QStringLiteral("*"), strAllWords);
}

QString BashCommands()
{
    QStringList names;
    for (const CliCommand* pCommand : CliCommands())
        names << pCommand->Name();
    return QStringLiteral("        COMPREPLY=($(compgen -W '%1' -- \"$cur\"))\n").arg(names.join(QLatin1Char(' ')));
}

// The first file: a JSON report for a command that takes more (merge),
// else a command file.
QString BashCommandFile()
{
    QString strShell = QStringLiteral("        case $command in\n");
    for (const CliCommand* pCommand : CliCommands())
        if (pCommand->TakesMoreFiles())
            strShell += QStringLiteral("            %1) _filedir json ;;\n").arg(pCommand->Name());
    return strShell + QStringLiteral("            *) _filedir %1 ;;\n        esac\n")
                          .arg(QString::fromLatin1(kCliCommandFileExtension));
}

// The files after the first: JSON reports, for the commands that take them.
QString BashMoreFiles()
{
    QStringList names;
    for (const CliCommand* pCommand : CliCommands())
        if (pCommand->TakesMoreFiles())
            names << pCommand->Name();
    return QStringLiteral("        case $command in\n            %1) _filedir json ;;\n        esac\n")
        .arg(names.join(QStringLiteral(" | ")));
}

}  // namespace

QString CliExitCodesHelp()
{
    // Words, wrapped at 80 columns; a number never begins a line unless it
    // is a code, so that each code is the first number of its line or
    // follows a comma.
    constexpr qsizetype kWidth = 80;
    QStringList words{QStringLiteral("Exit codes:")};
    const qsizetype nCodes = qsizetype(std::size(kCliExitCodeDocs));
    for (qsizetype i = 0; i < nCodes; ++i) {
        const CliExitCodeDoc& doc = kCliExitCodeDocs[i];
        const QString strItem = QStringLiteral("%1 %2%3").arg(doc.nCode).arg(QString::fromUtf8(doc.szHelp),
                                                                            i + 1 < nCodes ? "," : ".");
        const QStringList itemWords = strItem.split(QLatin1Char(' '));
        words << itemWords[0] + QLatin1Char(' ') + itemWords.value(1);  // the code with its first word
        for (qsizetype j = 2; j < itemWords.size(); ++j) {
            if (!itemWords[j].isEmpty() && itemWords[j].front().isDigit())
                words.back() += QLatin1Char(' ') + itemWords[j];
            else
                words << itemWords[j];
        }
    }
    QString strHelp;
    QString strLine;
    for (const QString& strWord : words) {
        if (!strLine.isEmpty() && strLine.size() + 1 + strWord.size() > kWidth) {
            strHelp += strLine + QLatin1Char('\n');
            strLine.clear();
        }
        strLine += (strLine.isEmpty() ? QString() : QStringLiteral(" ")) + strWord;
    }
    return strHelp + strLine + QStringLiteral("\nWhen several apply: %1.").arg(QString::fromUtf8(kCliExitPrecedence));
}

bool CliDocPart(const QString& strPart, QString* pText)
{
    if (strPart == QLatin1String("man-options"))
        *pText = ManOptions(false);
    else if (strPart == QLatin1String("man-qt-options"))
        *pText = ManOptions(true);
    else if (strPart == QLatin1String("man-exit-status"))
        *pText = ManExitStatus();
    else if (strPart == QLatin1String("bash-value-cases"))
        *pText = BashValueCases();
    else if (strPart == QLatin1String("bash-value-options"))
        *pText = QStringLiteral("            %1) ((i++)) ;;\n")
                     .arg(ValueOptions(ECliCompletion::None, true).join(QStringLiteral(" | ")));
    else if (strPart == QLatin1String("bash-command-options"))
        *pText = BashCommandOptions();
    else if (strPart == QLatin1String("bash-commands"))
        *pText = BashCommands();
    else if (strPart == QLatin1String("bash-command-file"))
        *pText = BashCommandFile();
    else if (strPart == QLatin1String("bash-more-files"))
        *pText = BashMoreFiles();
    else
        return false;
    return true;
}
