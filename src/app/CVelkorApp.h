#pragma once

#include <QString>

#include <functional>

// Start-up: the socket layer starts, then the main window runs until it is
// closed. When the socket layer cannot start, a message says so and the
// window is never shown. A command file given on the command line is loaded
// as soon as the window is up, as "Load command" would load it; a saved JSON
// report (.json) is opened in the results window, as "Open results..." would.
class CVelkorApp {
public:
    using StartupFunction = std::function<int()>;  // 0 on success
    using MessageFunction = std::function<void()>;

    CVelkorApp();
    // For tests: another socket start-up and another way to show its failure.
    CVelkorApp(StartupFunction startup, MessageFunction showStartupFailure);

    // The command file to load at start-up (none when empty).
    void SetCommandFile(const QString& strPath) { m_strCommandFile = strPath; }

    // Runs the program; returns the process's exit code.
    int InitInstance();

    // Whether a file given at start-up is a saved report: its name ends in .json.
    static bool IsResultsFile(const QString& strPath);

    // "Windows 소켓을 초기화하지 못했습니다."
    static const char* StartupFailureText();

private:
    StartupFunction m_startup;
    MessageFunction m_showStartupFailure;
    QString m_strCommandFile;
};
