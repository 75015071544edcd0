#pragma once

#include "CRunSettings.h"
#include "RunResults.h"
#include "http/CTlsConnection.h"
#include "platform/CCancelSignal.h"
#include "platform/CManualResetEvent.h"
#include "script/CScript.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <atomic>
#include <vector>

class CLogWriter;
class IRunControls;

// What one run shares between the window thread and the worker, under the
// names the rest of the program knows them by. The window thread writes the
// inputs before the worker starts; during the run only the worker touches
// the script and its servers.
struct CRunContext {
    CRunContext(CLogWriter& log, IRunControls& controls) : m_log(log), m_controls(controls) {}

    CLogWriter& m_log;
    IRunControls& m_controls;

    CRunSettings m_settings;  // as "Send" was given them; the fields below are taken from it
    QByteArray m_szId;        // user name for the devices, 8-bit, at most 254 bytes
    QByteArray m_szPassword;  // password, 8-bit, at most 254 bytes
    bool m_bCredentialsUtf8 = false;  // both are UTF-8 (one holds a character above U+00FF)
    int m_nResponseLimitMs = 300;
    CTlsOptions m_tlsOptions;  // how the certificates of https servers are checked
    CScript m_script;
    // The command file's name, for the run's results; empty for a typed script.
    QString m_strScriptName;
    // Who gets the run's results beside its log (see RunResults.h), called
    // in order on the worker. Set before "Send"; not changed during a run.
    std::vector<IRunListener*> m_listeners;

    // "Stop": taken by the next End, and it also ends a CheckAlive wait.
    CManualResetEvent m_hStopEvent;
    // Closing: ends sleeps, waits and the run itself at once.
    CManualResetEvent m_hAbortEvent{m_hStopEvent.GetGroup()};
    // Raised with the abort: ends the worker's connects and response waits.
    CCancelSignal m_cancel;
    std::atomic<bool> m_bCheckAliveWaiting{false};
    // The values the Capture lines took in this run (this device's), by
    // name; only the worker touches them.
    QHash<QString, QString> m_captures;

    // Outcome of the last run, for the headless runner's exit code.
    std::atomic<int> m_nRequestsSent{0};
    std::atomic<int> m_nRequestsFailed{0};  // failed, timed out or not sent
};
