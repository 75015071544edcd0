#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QCommandLineParser;

// The commands of velkor-cli as bits, for the commands that take an option.
enum ECliCommandBit : unsigned {
    kCliCheck = 1u << 0,
    kCliRun = 1u << 1,
    kCliMerge = 1u << 2,
    kCliCompare = 1u << 3,
};

// What bash completion offers as an option's value.
enum class ECliCompletion {
    None,    // nothing: the user types it
    File,    // a file, of CliOptionEntry::extensions when there are any
    Folder,  // a folder
};

enum class ECliOption {
    Id,
    Password,
    PasswordFile,
    Threshold,
    Strict,
    LogDir,
    CaFile,
    Insecure,
    Json,
    JsonLines,
    JUnit,
    JUnitEachRequest,
    Html,
    Stats,
    FailOnSlow,
    FailOnStatus,
    Require,
    FailOnRegression,
    Confidence,
    Variable,
    VariablesFile,
    Devices,
    Jobs,
    RampUp,
    Shard,
    MaxDuration,
    MaxPasses,
    Quiet,
    Progress,
    Help,
    HelpAll,
    Version,
};

// One option of velkor-cli: everything --help, the man page and the bash
// completion say about it.
struct CliOptionEntry {
    ECliOption option;
    QStringList names;          // "id"; Qt's own options also their short name: "h", "help"
    QString strValueName;       // "ID"; empty: a switch
    QString strDefault;         // the value when the option is not given; empty: none
    unsigned nCommands = 0;     // ECliCommandBit; 0: one of Qt's own (help, version) for any command
    // --help: HELPLEAD (COMMANDS HELPNOTE)HELPTAIL; empty for Qt's own.
    QString strHelpLead;
    QString strHelpNote;
    QString strHelpTail = QStringLiteral(".");
    // The man page (roff): MANLEAD (COMMANDS; default DEFAULT; MANNOTE). MANMORE
    QString strManLead;
    QString strManNote;
    QString strManMore;
    ECliCompletion completion = ECliCompletion::None;
    QStringList extensions;     // File: the extensions offered; empty: any file

    bool TakesValue() const { return !strValueName.isEmpty(); }
    bool IsQtOwn() const { return nCommands == 0; }
    QString LongName() const { return names.last(); }
};

// Every option, in the order --help and the man page list them (Qt's own
// last here; --help puts them first, as QCommandLineParser does).
const QList<CliOptionEntry>& CliOptionTable();
const CliOptionEntry& CliOption(ECliOption option);

// The --help text of an option.
QString CliOptionHelp(const CliOptionEntry& entry);

// The command names of a set of ECliCommandBit, in table order: "check", "run".
QStringList CliCommandNames(unsigned nCommands);

// Fills the parser: --help, --help-all, --version and every option of the
// table, then the hidden --print-doc (kCliPrintDocOption).
void AddCliOptions(QCommandLineParser& parser);

// Hidden: prints a generated part of the man page or of the bash completion
// (see CliDocs.h) for the build.
inline constexpr char kCliPrintDocOption[] = "print-doc";

// The command file's extension, as the completion offers it.
inline constexpr char kCliCommandFileExtension[] = "cmf";
