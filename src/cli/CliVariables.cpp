#include "CliVariables.h"

#include "CliCommand.h"
#include "log/CCommandFile.h"
#include "log/CLogWriter.h"

bool ParseVariableAssignment(QStringView strText, QString* pName, QString* pValue)
{
    const qsizetype nEquals = strText.indexOf(QLatin1Char('='));
    if (nEquals < 0)
        return false;
    const QStringView name = strText.left(nEquals).trimmed();
    if (!IsVariableName(name))
        return false;
    *pName = name.toString();
    *pValue = strText.mid(nEquals + 1).trimmed().toString();
    return true;
}

bool ReadVariablesFile(const QString& strPath, ScriptVariables* pVariables, QString* pProblem)
{
    QStringList lines;
    QString strError;
    if (!CCommandFile::ReadLines(strPath, lines, strError)) {
        *pProblem = strError;
        return false;
    }
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringView line(lines[i]);
        if (i == 0 && line.startsWith(QChar(0xFEFF)))
            line = line.mid(1);
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QString strName;
        QString strValue;
        if (!ParseVariableAssignment(line, &strName, &strValue)) {
            *pProblem = QStringLiteral("the variables file %1, line %2: expected NAME=VALUE (NAME a letter or _, "
                                       "then letters, digits, _ or -), not '%3'")
                            .arg(strPath, QString::number(i + 1), line.toString());
            return false;
        }
        pVariables->insert(strName, strValue);
    }
    return true;
}

bool CollectCliVariables(const CliArguments& args, ScriptVariables* pVariables, QString* pProblem)
{
    if (args.IsSet(ECliOption::VariablesFile) &&
        !ReadVariablesFile(args.Value(ECliOption::VariablesFile), pVariables, pProblem))
        return false;
    for (const QString& strAssignment : args.Values(ECliOption::Variable)) {
        QString strName;
        QString strValue;
        if (!ParseVariableAssignment(strAssignment, &strName, &strValue)) {
            *pProblem = QStringLiteral("--variable takes NAME=VALUE (NAME a letter or _, then letters, digits, _ or "
                                       "-), not '%1'")
                            .arg(strAssignment);
            return false;
        }
        pVariables->insert(strName, strValue);
    }
    return true;
}
