#pragma once

#include "CliOptions.h"

#include <QList>
#include <QString>

class QCommandLineParser;
class QTextStream;

// What a command gets from the command line: its file and the options.
class CliArguments {
public:
    CliArguments(const QCommandLineParser& parser, QString strFile, QStringList moreFiles = {})
        : m_parser(parser), m_strFile(std::move(strFile)), m_moreFiles(std::move(moreFiles))
    {
    }

    const QString& File() const { return m_strFile; }
    // The files after the first, for a command that takes more.
    const QStringList& MoreFiles() const { return m_moreFiles; }
    bool IsSet(ECliOption option) const;
    // The option's value, its default when it is not given.
    QString Value(ECliOption option) const;
    // Every value of an option given more than once, in order.
    QStringList Values(ECliOption option) const;

private:
    const QCommandLineParser& m_parser;
    QString m_strFile;
    QStringList m_moreFiles;
};

// A command of velkor-cli ("velkor-cli NAME FILE [options]"). The options it
// takes are those of the option table that name its bit.
class CliCommand {
public:
    virtual ~CliCommand() = default;

    virtual ECliCommandBit Bit() const = 0;
    // What --help says under "Commands:", one line or more, without indent.
    virtual QString Description() const = 0;
    // Returns an exit code of ECliExit.
    virtual int Execute(const CliArguments& args, QTextStream& out, QTextStream& err) const = 0;

    // Whether it takes files after the first ("merge OUT IN...").
    virtual bool TakesMoreFiles() const { return false; }

    QString Name() const { return CliCommandNames(Bit()).constFirst(); }
    virtual QString Usage() const { return Name() + QStringLiteral(" FILE"); }
};

// The commands, in the order --help lists them.
const QList<const CliCommand*>& CliCommands();

// The "Commands:" block of --help: "  check FILE   ..." with the further
// lines of a description under its first.
QString CliCommandsHelp();
